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
    progress_ = ProgressEvent{};
    progress_.operation = std::string(text);
    progress_.total = range;
    progress_.showBar = showBar;
    progress_.allowCancel = allowCancel;
    progress_.topMost = topMost;
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

namespace {
int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void Operator::emitProgress(ProgressEvent::Kind kind) {
    progress_.kind = kind;
    const int64_t now = nowMs();
    if (kind == ProgressEvent::Kind::Open) openedMs_ = now;
    progress_.elapsedMs = now - openedMs_;
    // A rate from the first fifth of a second says little.
    const double secs = progress_.elapsedMs / 1000.0;
    const int64_t done =
        std::clamp<int64_t>(progress_.done, 0, std::max<int64_t>(progress_.total, 0));
    progress_.rate = secs > 0.2 && done > 0 ? done / secs : 0.0;
    progress_.secondsLeft =
        progress_.rate > 0 && progress_.total > 0 ? (progress_.total - done) / progress_.rate : -1;
    if (host_)
        host_(progress_);
    else
        onProgress(progress_);
    if (listener_) listener_(progress_);
}

bool untouchedAnswer(int32_t code) {
    return code == 12014;
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

}  // namespace ostrand
