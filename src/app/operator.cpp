#include "operator.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace ostrand {

void Operator::showMessage(int32_t code, int32_t place, int32_t hintCode, std::string detail) {
    detail = printableDetail(detail);
    session_.LastMessageCode = code;
    if (code >= 10000 && code <= 10999) session_.ExitStatus = 0;
    ShownMessage m;
    m.code = code;
    m.place = place;
    m.hint = hintCode;
    m.text = formatMessage(code, place, hintCode, detail);
    m.detail = std::move(detail);
    m.cls = messageClass(code);
    noteShown(m);
    present(m);
}

void Operator::showCommandError(uint8_t commandByte, std::string detail) {
    detail = printableDetail(detail);
    session_.ExitStatus = 0;
    ShownMessage m;
    m.code = 10006;
    m.hint = 12127;
    m.text = formatCommandError(commandByte, detail);
    m.detail = std::move(detail);
    m.cls = MessageClass::Error;
    noteShown(m);
    present(m);
}

void Operator::noteShown(const ShownMessage& message) {
    std::lock_guard lock(captureMutex_);
    for (OutcomeCapture* c = capture_; c; c = c->outer_) c->note(message);
}

OutcomeCapture::OutcomeCapture(Operator& op) : op_(op) {
    std::lock_guard lock(op_.captureMutex_);
    outer_ = op_.capture_;
    op_.capture_ = this;
}

OutcomeCapture::~OutcomeCapture() {
    std::lock_guard lock(op_.captureMutex_);
    op_.capture_ = outer_;
}

void OutcomeCapture::note(const ShownMessage& m) {
    // The first error tells why an operation failed; what follows it (a
    // reconnection, a notice) does not replace it. Notices never tell.
    if (seen_.errorShown() || m.cls == MessageClass::Notice) return;
    seen_.code = m.code;
    seen_.place = m.place;
    seen_.hint = m.hint;
    seen_.detail = m.detail;
}

Outcome OutcomeCapture::finish(int32_t status) const {
    std::lock_guard lock(op_.captureMutex_);
    Outcome o = seen_;
    o.status = status;
    return o;
}

void Operator::progressOpen(std::string_view text, int32_t range, bool showBar, bool allowCancel,
                            bool topMost) {
    progress_ = ProgressEvent{
        ProgressEvent::Kind::Open, std::string(text), 0, range, showBar, allowCancel, topMost};
    progressOpen_ = true;
    emitProgress(ProgressEvent::Kind::Open);
}

void Operator::progressStep(int32_t by) {
    progress_.done += by;
    emitProgress(ProgressEvent::Kind::Advance);
}

void Operator::progressSetPos(int32_t pos) {
    progress_.done = pos;
    emitProgress(ProgressEvent::Kind::Advance);
}

void Operator::progressSetText(std::string_view text) {
    progress_.operation = text;
    emitProgress(ProgressEvent::Kind::Text);
}

void Operator::progressClose() {
    // Operations close on every path; a second close means nothing.
    if (!progressOpen_) return;
    progressOpen_ = false;
    emitProgress(ProgressEvent::Kind::Close);
}

void Operator::emitProgress(ProgressEvent::Kind kind) {
    progress_.kind = kind;
    if (host_)
        host_(progress_);
    else
        onProgress(progress_);
    if (listener_) listener_(progress_);
}

// ---------------------------------------------------------------- console

namespace {
int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

ConsoleOperator::ConsoleOperator(Session& session, bool assumeYes)
    : Operator(session), assumeYes_(assumeYes), quiet_(false), tty_(isatty(2) != 0) {}

void ConsoleOperator::present(const ShownMessage& message) {
    if (open_ && tty_ && !quiet_) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "%s\n", message.text.c_str());
    std::fflush(stderr);
    // The bar goes on below the message.
    if (open_) draw(true);
}

bool untouchedAnswer(int32_t code) {
    return code == 12014;
}

bool ConsoleOperator::unattended(const std::string& text, bool answer, const char* yes,
                                 const char* no) {
    std::fprintf(stderr, "%s\n-> %s\n", text.c_str(), answer ? yes : no);
    std::fflush(stderr);
    return answer;
}

bool ConsoleOperator::ask(int32_t code) {
    std::string text(messageTextOrFallback(code));
    if (assumeYes_) return unattended(text, true, "yes", "no");
    if (inputGone_ || !isatty(0)) return unattended(text, untouchedAnswer(code), "yes", "no");
    std::fprintf(stderr, "%s [y/N] ", text.c_str());
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) {
        // The terminal closed: no answer will ever come.
        inputGone_ = true;
        std::fputc('\n', stderr);
        return unattended(text, untouchedAnswer(code), "yes", "no");
    }
    return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
}

bool ConsoleOperator::askOkCancel(int32_t code) {
    std::string text(messageTextOrFallback(code));
    if (assumeYes_) return unattended(text, true, "OK", "Cancel");
    if (inputGone_ || !isatty(0)) return unattended(text, false, "OK", "Cancel");
    std::fprintf(stderr, "%s [Enter = OK, c = Cancel] ", text.c_str());
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) {
        inputGone_ = true;
        std::fputc('\n', stderr);
        return unattended(text, false, "OK", "Cancel");
    }
    return line.empty() || (line[0] != 'c' && line[0] != 'C');
}

bool ConsoleOperator::notice(int32_t code) {
    showMessage(code);
    return false;
}

void ConsoleOperator::onProgress(const ProgressEvent& event) {
    switch (event.kind) {
        case ProgressEvent::Kind::Open:
            open_ = true;
            startMs_ = nowMs();
            lastDrawMs_ = -1;
            draw(true);
            break;
        case ProgressEvent::Kind::Advance:
            draw(false);
            break;
        case ProgressEvent::Kind::Text:
            draw(true);
            break;
        case ProgressEvent::Kind::Close:
            if (open_ && tty_ && !quiet_) {
                std::fputs("\r\033[K", stderr);
                std::fflush(stderr);
            }
            open_ = false;
            break;
    }
}

namespace {
std::atomic<int> cancelWord{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");
}  // namespace

void requestCancel() noexcept {
    cancelWord.store(1);
}
bool cancelRequested() noexcept {
    return cancelWord.load() != 0;
}
void clearCancel() noexcept {
    cancelWord.store(0);
}

bool ConsoleOperator::progressAborted() {
    return session().AbortRequested != 0 || cancelRequested();
}

// Text, bar, bytes done of all, rate and time left, on one line redrawn in
// place.
void ConsoleOperator::draw(bool force) {
    if (!open_ || !tty_ || quiet_) return;
    const int64_t now = nowMs();
    // A terminal redraw per byte would cost more than the byte itself.
    if (!force && lastDrawMs_ >= 0 && now - lastDrawMs_ < 100 && progress().done < progress().total)
        return;
    lastDrawMs_ = now;
    const ProgressEvent& p = progress();
    const int64_t range = p.total;
    std::fprintf(stderr, "\r\033[K%s", p.operation.c_str());
    if (p.showBar && range > 0) {
        const int64_t pos = std::clamp<int64_t>(p.done, 0, range);
        const int width = 24;
        const int filled = static_cast<int>(pos * width / range);
        const double secs = (now - startMs_) / 1000.0;
        const double rate = secs > 0.2 ? pos / secs : 0.0;
        std::fprintf(stderr, " [%s%s] %lld/%lld", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), static_cast<long long>(pos),
                     static_cast<long long>(range));
        if (rate > 0.0)
            std::fprintf(stderr, " %.1f kB/s %.0fs left", rate / 1000.0,
                         static_cast<double>(range - pos) / rate);
    }
    std::fflush(stderr);
}

// ---------------------------------------------------------------- recording

bool RecordingOperator::nextAnswer() {
    if (answers.empty()) return defaultAnswer;
    bool a = answers.front();
    answers.erase(answers.begin());
    return a;
}

bool RecordingOperator::ask(int32_t code) {
    questions.push_back(code);
    return nextAnswer();
}

bool RecordingOperator::askOkCancel(int32_t code) {
    questions.push_back(code);
    return nextAnswer();
}

bool RecordingOperator::notice(int32_t code) {
    showMessage(code);
    return false;
}

void RecordingOperator::onProgress(const ProgressEvent& event) {
    progressEvents.push_back(event);
    switch (event.kind) {
        case ProgressEvent::Kind::Open:
            progressTexts.push_back(event.operation);
            progressRange = static_cast<int32_t>(event.total);
            progressPos = 0;
            progressIsOpen = true;
            break;
        case ProgressEvent::Kind::Advance:
            progressPos = static_cast<int32_t>(event.done);
            ++steps;
            break;
        case ProgressEvent::Kind::Text:
            progressTexts.push_back(event.operation);
            break;
        case ProgressEvent::Kind::Close:
            progressIsOpen = false;
            break;
    }
}

bool RecordingOperator::progressAborted() {
    return (abortAfterSteps >= 0 && steps >= abortAfterSteps) || session().AbortRequested != 0;
}

std::vector<int32_t> RecordingOperator::codes() const {
    std::vector<int32_t> c;
    for (const auto& m : messages) c.push_back(m.code);
    return c;
}

}  // namespace ostrand
