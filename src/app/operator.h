// The one seam between the core and a person. The engine and the application
// never call a toolkit: messages, questions and progress go through here.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "messages.h"
#include "session.h"

namespace ostrand {

// One step of a long operation as every front end sees it: the console bar,
// --json, the progress window and the tests all render these.
struct ProgressEvent {
    enum class Kind { Open, Advance, Text, Close };
    Kind kind = Kind::Open;
    std::string operation;  // the text of the progress window
    int64_t done = 0;
    int64_t total = 0;  // 0: no known end
    // Since the window opened; the rate (of `done` a second) and the time
    // left once enough has passed to tell them (0 and -1 before).
    int64_t elapsedMs = 0;
    double rate = 0;
    double secondsLeft = -1;
    bool showBar = false;
    bool allowCancel = false;
    bool topMost = false;
};

// One message as it reaches the person.
struct ShownMessage {
    int32_t code = 0;
    int32_t place = 0;
    int32_t hint = 0;
    std::string detail;
    std::string text;  // the whole box text, laid out
    MessageClass cls = MessageClass::Error;
};

// What one operation ended with, as a value for its caller: its own return
// value and the message that tells it: the first error shown during it, or
// else the last result shown (code 0: it showed neither).
struct Outcome {
    int32_t status = 0;
    int32_t code = 0;
    int32_t place = 0;
    int32_t hint = 0;
    std::string detail;
    bool errorShown() const { return code != 0 && messageClass(code) == MessageClass::Error; }
};

class OutcomeCapture;

class Operator {
  public:
    explicit Operator(Session& session) : session_(session) {}
    virtual ~Operator() = default;
    Operator(const Operator&) = delete;
    Operator& operator=(const Operator&) = delete;

    // The single way a numbered message reaches the person. Keeps
    // LastMessageCode and, for errors, sets ExitStatus to 0.
    void showMessage(int32_t code, int32_t place = 0, int32_t hintCode = 0,
                     std::string detail = {});

    // The command-error box (10006 with the command byte filled in, hint 12127).
    // It is not a showMessage: LastMessageCode stays, but ExitStatus still
    // records that an error was shown.
    void showCommandError(uint8_t commandByte, std::string detail);

    // Yes/No question of the catalogue (12001-12016), shown without prefix.
    virtual bool ask(int32_t code) = 0;
    // OK/Cancel question (12005).
    virtual bool askOkCancel(int32_t code) = 0;
    // A notice with a "don't show again" box; returns whether it was ticked.
    virtual bool notice(int32_t code) = 0;

    // Progress of a long operation. These keep the state and turn each call
    // into one ProgressEvent for onProgress() and the listener.
    void progressOpen(std::string_view text, int32_t range, bool showBar, bool allowCancel,
                      bool topMost);
    void progressStep(int32_t by = 1);
    void progressSetPos(int32_t pos);
    void progressSetText(std::string_view text);
    void progressClose();
    virtual bool progressAborted() = 0;
    // The progress as it stands (kind of the last event).
    const ProgressEvent& progress() const { return progress_; }
    bool progressOpened() const { return progressOpen_; }
    // An observer besides the front end (--json, a gang's port line).
    void setProgressListener(std::function<void(const ProgressEvent&)> listener) {
        listener_ = std::move(listener);
    }
    // A window that shows progress in its own controls (the Auto Programming
    // dialog's message line and bar) takes the events in place of the front
    // end's progress window while it is set; empty gives them back.
    void setProgressHost(std::function<void(const ProgressEvent&)> host) {
        host_ = std::move(host);
    }

    // Dispatch one pending UI event (keeps a window alive during long work).
    virtual void pump() {}

    Session& session() { return session_; }

  protected:
    virtual void present(const ShownMessage& message) = 0;
    virtual void onProgress(const ProgressEvent& event) = 0;

  private:
    friend class OutcomeCapture;
    void emitProgress(ProgressEvent::Kind kind);
    void noteShown(const ShownMessage& message);
    Session& session_;
    // The captures of the operations under way, innermost first; the
    // reconnect worker may show a message while one is being set up.
    std::mutex captureMutex_;
    OutcomeCapture* capture_ = nullptr;
    ProgressEvent progress_;
    bool progressOpen_ = false;
    int64_t openedMs_ = 0;
    std::function<void(const ProgressEvent&)> listener_;
    std::function<void(const ProgressEvent&)> host_;
};

// Collects, while it lives, what the operator is shown for one operation.
// Captures nest: each one sees every message shown while it lives.
class OutcomeCapture {
  public:
    explicit OutcomeCapture(Operator& op);
    ~OutcomeCapture();
    OutcomeCapture(const OutcomeCapture&) = delete;
    OutcomeCapture& operator=(const OutcomeCapture&) = delete;
    // The outcome of the operation that returned `status`.
    Outcome finish(int32_t status) const;

  private:
    friend class Operator;
    void note(const ShownMessage& message);
    Operator& op_;
    OutcomeCapture* outer_;
    Outcome seen_;
};

// Runs `operation` (which returns its status) and gives its outcome.
template <class F>
Outcome captureOutcome(Operator& op, F&& operation) {
    OutcomeCapture capture(op);
    const int32_t status = static_cast<int32_t>(operation());
    return capture.finish(status);
}

// A cancel asked for from outside, by a signal: safe to call from a signal
// handler. The console's progressAborted() sees it, and unlike AbortRequested
// (which the engine also uses for its own steps) nothing clears it but
// clearCancel().
void requestCancel() noexcept;
bool cancelRequested() noexcept;
void clearCancel() noexcept;

// The answer to a catalogue question that leaves the chip as it is and ends
// the run: No to erasing (and to anything else), Yes to leaving the program.
bool untouchedAnswer(int32_t code);

}  // namespace ostrand
