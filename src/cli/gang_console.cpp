#include "gang_console.h"

#include <algorithm>

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "app/messages.h"

namespace ostrand::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Every line of `text` with "PORT: " in front.
std::string prefixed(const std::string& port, const std::string& text) {
    std::string out;
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        out += port + ": " + text.substr(from, end - from) + "\n";
        from = end + 1;
    }
    return out;
}

}  // namespace

GangConsole::GangConsole(bool live, bool assumeYes, FILE* report)
    : live_(live), report_(report), assumeYes_(assumeYes) {}

GangConsole::~GangConsole() {
    stop();
}

size_t GangConsole::addPort(const std::string& port) {
    std::lock_guard guard(lock_);
    Line line;
    line.port = port;
    line.step = "starting";
    lines_.push_back(line);
    return lines_.size() - 1;
}

void GangConsole::setDevice(size_t i, const std::string& device) {
    std::lock_guard guard(lock_);
    lines_[i].device = device;
    redrawLocked(true);
}

void GangConsole::stepStarted(size_t i, const std::string& step) {
    std::lock_guard guard(lock_);
    Line& l = lines_[i];
    l.step = step;
    l.done = l.total = 0;
    l.rate = 0;
    redrawLocked(true);
}

void GangConsole::stepDone(size_t i, const std::string& step, const char* result,
                           const AutoStepReport& report) {
    std::lock_guard guard(lock_);
    if (live_) {
        lines_[i].step = step + ": " + result;
        redrawLocked(true);
        return;
    }
    // Same columns as the auto command's step lines, after the port.
    char text[200];
    int n = std::snprintf(text, sizeof text, "%s: %-16s %-3s %6.1f s", lines_[i].port.c_str(),
                          (step + ":").c_str(), result, report.seconds);
    if (report.bytes > 0 && report.bytesPerSecond > 0 && n > 0 &&
        static_cast<size_t>(n) < sizeof text)
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  %lld bytes, %.0f bytes/s",
                      static_cast<long long>(report.bytes), report.bytesPerSecond);
    std::fprintf(report_, "%s\n", text);
    std::fflush(report_);
}

void GangConsole::progress(size_t i, const ProgressEvent& event) {
    std::lock_guard guard(lock_);
    Line& l = lines_[i];
    if (event.showBar) {
        l.done = event.done;
        l.total = event.total;
        l.rate = event.rate;
    }
    redrawLocked(event.kind != ProgressEvent::Kind::Advance);
}

void GangConsole::finished(size_t i, const std::string& state) {
    std::lock_guard guard(lock_);
    lines_[i].state = state;
    redrawLocked(true);
}

void GangConsole::message(size_t i, const std::string& text) {
    std::lock_guard guard(lock_);
    writeLocked(prefixed(lines_[i].port, text));
}

bool GangConsole::firstOfRun(int32_t code) {
    std::lock_guard<std::mutex> hold(lock_);
    if (std::find(printedOnce_.begin(), printedOnce_.end(), code) != printedOnce_.end())
        return false;
    printedOnce_.push_back(code);
    return true;
}

void GangConsole::note(const std::string& text) {
    std::lock_guard guard(lock_);
    writeLocked(text + "\n");
}

std::string GangConsole::render(const Line& l) const {
    char text[256];
    if (!l.state.empty()) {
        std::snprintf(text, sizeof text, "%-16s %-10s %s", l.port.c_str(), l.device.c_str(),
                      l.state.c_str());
        return text;
    }
    int n = std::snprintf(text, sizeof text, "%-16s %-10s %-22s", l.port.c_str(), l.device.c_str(),
                          l.step.c_str());
    if (l.total > 0 && n > 0 && static_cast<size_t>(n) < sizeof text) {
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n), " %7lld/%-7lld %6.0f B/s",
                      static_cast<long long>(l.done), static_cast<long long>(l.total), l.rate);
    }
    return text;
}

void GangConsole::clearLocked() {
    if (!live_ || drawn_ == 0) return;
    std::fprintf(stderr, "\033[%zuA\r\033[J", drawn_);
    drawn_ = 0;
}

void GangConsole::redrawLocked(bool force) {
    if (!live_ || asking_ || stopped_) return;
    const auto now = Clock::now();
    // Redrawing every block of every port would cost more than the blocks.
    if (!force && drawn_ > 0 && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    std::string out = drawn_ > 0 ? "\033[" + std::to_string(drawn_) + "A" : std::string();
    for (const Line& l : lines_) out += "\r\033[K" + render(l) + "\n";
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = lines_.size();
}

void GangConsole::writeLocked(const std::string& text) {
    if (asking_) {
        held_ += text;
        return;
    }
    clearLocked();
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    redrawLocked(true);
}

bool GangConsole::readAnswer(const std::string& prompt, bool& answer, bool okCancel) {
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::string reply;
    if (!std::getline(std::cin, reply)) {
        inputGone_ = true;  // the terminal closed: no answer will ever come
        std::fputc('\n', stderr);
        return false;
    }
    if (okCancel)
        answer = reply.empty() || (reply[0] != 'c' && reply[0] != 'C');
    else
        answer = !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y');
    return true;
}

bool GangConsole::ask(size_t i, int32_t code, bool okCancel) {
    const std::string text(messageTextOrFallback(code));
    const char* yes = okCancel ? "OK" : "yes";
    const char* no = okCancel ? "Cancel" : "no";
    std::lock_guard one(question_);
    std::unique_lock guard(lock_);
    const std::string& port = lines_[i].port;
    bool answer = okCancel ? false : untouchedAnswer(code);
    if (assumeYes_ || inputGone_ || isatty(0) == 0) {
        if (assumeYes_) answer = true;
        writeLocked(prefixed(port, text + "\n-> " + (answer ? yes : no)));
        return answer;
    }
    clearLocked();
    asking_ = true;
    guard.unlock();
    const std::string prompt = prefixed(port, text);
    bool answered = readAnswer(
        prompt.substr(0, prompt.size() - 1) + (okCancel ? " [Enter = OK, c = Cancel] " : " [y/N] "),
        answer, okCancel);
    guard.lock();
    asking_ = false;
    if (!answered) {
        answer = okCancel ? false : untouchedAnswer(code);
        held_ = prefixed(port, std::string("-> ") + (answer ? yes : no)) + held_;
    }
    std::string later;
    later.swap(held_);
    writeLocked(later);
    return answer;
}

bool GangConsole::askEveryone(int32_t code) {
    const std::string text(messageTextOrFallback(code));
    std::lock_guard one(question_);
    std::unique_lock guard(lock_);
    if (inputGone_ || isatty(0) == 0) {
        writeLocked(text + "\n-> Cancel\n");
        return false;
    }
    clearLocked();
    asking_ = true;
    guard.unlock();
    bool answer = false;
    bool answered = readAnswer(text + " [Enter = OK, c = Cancel] ", answer, true);
    guard.lock();
    asking_ = false;
    std::string later;
    later.swap(held_);
    writeLocked(later);
    return answered && answer;
}

void GangConsole::stop() {
    std::lock_guard guard(lock_);
    if (stopped_) return;
    redrawLocked(true);
    stopped_ = true;
    drawn_ = 0;
}

void GangConsole::resume() {
    std::lock_guard guard(lock_);
    stopped_ = false;
    for (Line& l : lines_) {
        l.state.clear();
        l.step = "waiting";
        l.done = l.total = 0;
    }
}

}  // namespace ostrand::cli
