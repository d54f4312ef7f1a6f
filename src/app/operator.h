// The one seam between the core and a person. The engine and the application
// never call a toolkit: messages, questions and progress go through here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "messages.h"
#include "session.h"

namespace ostrand {

// One message as it reaches the person.
struct ShownMessage {
    int32_t code = 0;
    int32_t place = 0;
    int32_t hint = 0;
    std::string detail;
    std::string text;  // the whole box text, laid out
    MessageClass cls = MessageClass::Error;
};

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

    // Progress of a long operation.
    virtual void progressOpen(std::string_view text, int32_t range, bool showBar, bool allowCancel,
                              bool topMost) = 0;
    virtual void progressStep(int32_t by = 1) = 0;
    virtual void progressSetPos(int32_t pos) = 0;
    virtual void progressSetText(std::string_view text) = 0;
    virtual bool progressAborted() = 0;
    virtual void progressClose() = 0;

    // Dispatch one pending UI event (keeps a window alive during long work).
    virtual void pump() {}

    Session& session() { return session_; }

  protected:
    virtual void present(const ShownMessage& message) = 0;

  private:
    Session& session_;
};

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

// Messages as text lines on stderr; questions answered from stdin when it is a
// terminal. A question nobody can answer (no terminal, end of input) takes
// the answer that leaves the chip untouched; --yes answers Yes instead.
// Progress as a bar on a terminal.
class ConsoleOperator : public Operator {
  public:
    explicit ConsoleOperator(Session& session, bool assumeYes = false);
    bool ask(int32_t code) override;
    bool askOkCancel(int32_t code) override;
    bool notice(int32_t code) override;
    void progressOpen(std::string_view text, int32_t range, bool showBar, bool allowCancel,
                      bool topMost) override;
    void progressStep(int32_t by) override;
    void progressSetPos(int32_t pos) override;
    void progressSetText(std::string_view text) override;
    bool progressAborted() override;
    void progressClose() override;

    // Progress bar drawing is on only when stderr is a terminal.
    void setQuiet(bool quiet) { quiet_ = quiet; }

  protected:
    void present(const ShownMessage& message) override;

  private:
    void draw(bool force);
    // The answer given without a person: printed after the question.
    bool unattended(const std::string& text, bool answer, const char* yes, const char* no);
    bool assumeYes_;
    bool inputGone_ = false;  // stdin ended: nobody answers any more
    bool quiet_;
    bool tty_;
    std::string progressText_;
    int64_t range_ = 0;
    int64_t pos_ = 0;
    bool open_ = false;
    bool showBar_ = false;
    int64_t startMs_ = 0;
    int64_t lastDrawMs_ = -1;
};

// For tests: records every message and progress event, answers questions
// from a script.
class RecordingOperator : public Operator {
  public:
    explicit RecordingOperator(Session& session) : Operator(session) {}

    std::vector<ShownMessage> messages;
    std::vector<int32_t> questions;
    std::vector<std::string> progressTexts;
    std::vector<bool> answers;  // consumed front to back; empty -> defaultAnswer
    bool defaultAnswer = true;
    int32_t abortAfterSteps = -1;  // progressAborted() turns true after that many steps
    int32_t progressRange = 0;
    int32_t progressPos = 0;
    int32_t steps = 0;
    bool progressIsOpen = false;

    bool ask(int32_t code) override;
    bool askOkCancel(int32_t code) override;
    bool notice(int32_t code) override;
    void progressOpen(std::string_view text, int32_t range, bool showBar, bool allowCancel,
                      bool topMost) override;
    void progressStep(int32_t by) override;
    void progressSetPos(int32_t pos) override;
    void progressSetText(std::string_view text) override;
    bool progressAborted() override;
    void progressClose() override;

    const ShownMessage* last() const { return messages.empty() ? nullptr : &messages.back(); }
    std::vector<int32_t> codes() const;

  protected:
    void present(const ShownMessage& message) override { messages.push_back(message); }

  private:
    bool nextAnswer();
};

}  // namespace ostrand
