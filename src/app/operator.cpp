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
    present(m);
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

void ConsoleOperator::progressOpen(std::string_view text, int32_t range, bool showBar, bool, bool) {
    progressText_ = text;
    range_ = range;
    pos_ = 0;
    open_ = true;
    showBar_ = showBar;
    startMs_ = nowMs();
    lastDrawMs_ = -1;
    draw(true);
}

void ConsoleOperator::progressStep(int32_t by) {
    pos_ += by;
    draw(false);
}

void ConsoleOperator::progressSetPos(int32_t pos) {
    pos_ = pos;
    draw(false);
}

void ConsoleOperator::progressSetText(std::string_view text) {
    progressText_ = text;
    draw(true);
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

void ConsoleOperator::progressClose() {
    if (open_ && tty_ && !quiet_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    open_ = false;
}

// Text, bar, bytes done of all, rate and time left, on one line redrawn in
// place.
void ConsoleOperator::draw(bool force) {
    if (!open_ || !tty_ || quiet_) return;
    const int64_t now = nowMs();
    // A terminal redraw per byte would cost more than the byte itself.
    if (!force && lastDrawMs_ >= 0 && now - lastDrawMs_ < 100 && pos_ < range_) return;
    lastDrawMs_ = now;
    std::fprintf(stderr, "\r\033[K%s", progressText_.c_str());
    if (showBar_ && range_ > 0) {
        const int64_t pos = std::clamp<int64_t>(pos_, 0, range_);
        const int width = 24;
        const int filled = static_cast<int>(pos * width / range_);
        const double secs = (now - startMs_) / 1000.0;
        const double rate = secs > 0.2 ? pos / secs : 0.0;
        std::fprintf(stderr, " [%s%s] %lld/%lld", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), static_cast<long long>(pos),
                     static_cast<long long>(range_));
        if (rate > 0.0)
            std::fprintf(stderr, " %.1f kB/s %.0fs left", rate / 1000.0,
                         static_cast<double>(range_ - pos) / rate);
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

void RecordingOperator::progressOpen(std::string_view text, int32_t range, bool, bool, bool) {
    progressTexts.emplace_back(text);
    progressRange = range;
    progressPos = 0;
    progressIsOpen = true;
}

void RecordingOperator::progressStep(int32_t by) {
    progressPos += by;
    ++steps;
}

void RecordingOperator::progressSetPos(int32_t pos) {
    progressPos = pos;
}

void RecordingOperator::progressSetText(std::string_view text) {
    progressTexts.emplace_back(text);
}

bool RecordingOperator::progressAborted() {
    return (abortAfterSteps >= 0 && steps >= abortAfterSteps) || session().AbortRequested != 0;
}

void RecordingOperator::progressClose() {
    progressIsOpen = false;
}

std::vector<int32_t> RecordingOperator::codes() const {
    std::vector<int32_t> c;
    for (const auto& m : messages) c.push_back(m.code);
    return c;
}

}  // namespace ostrand
