#include "console_operator.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace ostrand::cli {

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
    if (advice)
        if (const std::string a = advice(message); !a.empty())
            std::fprintf(stderr, "ostrand-cli: advice: %s\n", a.c_str());
    std::fflush(stderr);
    // The bar goes on below the message.
    if (open_) draw(true);
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
        std::fprintf(stderr, " [%s%s] %lld/%lld", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), static_cast<long long>(pos),
                     static_cast<long long>(range));
        if (p.rate > 0.0)
            std::fprintf(stderr, " %.1f kB/s %.0fs left", p.rate / 1000.0, p.secondsLeft);
    }
    std::fflush(stderr);
}

}  // namespace ostrand::cli
