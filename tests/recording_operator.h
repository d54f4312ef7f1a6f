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
    std::vector<bool> answers;  // consumed front to back; empty -> yes
    std::vector<ProgressEvent> progressEvents;
    int32_t progressRange = 0;
    int32_t progressPos = 0;

    bool ask(int32_t code) override { return nextAnswer(code); }
    bool askOkCancel(int32_t code) override { return nextAnswer(code); }
    bool notice(int32_t code) override {
        showMessage(code);
        return false;
    }
    bool progressAborted() override { return session().AbortRequested != 0; }

    const ShownMessage* last() const { return messages.empty() ? nullptr : &messages.back(); }
    std::vector<int32_t> codes() const {
        std::vector<int32_t> c;
        for (const auto& m : messages) c.push_back(m.code);
        return c;
    }

  protected:
    void present(const ShownMessage& message) override { messages.push_back(message); }
    void onProgress(const ProgressEvent& event) override {
        progressEvents.push_back(event);
        if (event.kind == ProgressEvent::Kind::Open) {
            progressRange = static_cast<int32_t>(event.total);
            progressPos = 0;
        } else if (event.kind == ProgressEvent::Kind::Advance) {
            progressPos = static_cast<int32_t>(event.done);
        }
    }

  private:
    bool nextAnswer(int32_t code) {
        questions.push_back(code);
        if (answers.empty()) return true;
        const bool a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
};

}  // namespace ostrand
