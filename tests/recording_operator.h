// For tests: an operator that records every message and progress event and
// answers questions from a script.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/operator.h"

namespace ostrand {

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
    std::vector<ProgressEvent> progressEvents;
    bool progressAborted() override;

    const ShownMessage* last() const { return messages.empty() ? nullptr : &messages.back(); }
    std::vector<int32_t> codes() const;

  protected:
    void present(const ShownMessage& message) override { messages.push_back(message); }
    void onProgress(const ProgressEvent& event) override;

  private:
    bool nextAnswer();
};

inline bool RecordingOperator::nextAnswer() {
    if (answers.empty()) return defaultAnswer;
    bool a = answers.front();
    answers.erase(answers.begin());
    return a;
}

inline bool RecordingOperator::ask(int32_t code) {
    questions.push_back(code);
    return nextAnswer();
}

inline bool RecordingOperator::askOkCancel(int32_t code) {
    questions.push_back(code);
    return nextAnswer();
}

inline bool RecordingOperator::notice(int32_t code) {
    showMessage(code);
    return false;
}

inline void RecordingOperator::onProgress(const ProgressEvent& event) {
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

inline bool RecordingOperator::progressAborted() {
    return (abortAfterSteps >= 0 && steps >= abortAfterSteps) || session().AbortRequested != 0;
}

inline std::vector<int32_t> RecordingOperator::codes() const {
    std::vector<int32_t> c;
    for (const auto& m : messages) c.push_back(m.code);
    return c;
}

}  // namespace ostrand
