// Messages as text lines on stderr; questions answered from stdin when it is a
// terminal. A question nobody can answer (no terminal, end of input) takes
// the answer that leaves the chip untouched; --yes answers Yes instead.
// Progress as a bar on a terminal.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/operator.h"

namespace ostrand::cli {

class ConsoleOperator : public Operator {
  public:
    explicit ConsoleOperator(Session& session, bool assumeYes = false);
    bool ask(int32_t code) override;
    bool askOkCancel(int32_t code) override;
    bool notice(int32_t code) override;
    bool progressAborted() override;

    // Progress bar drawing is on only when stderr is a terminal.
    void setQuiet(bool quiet) { quiet_ = quiet; }
    // The advice printed after a message (empty: none).
    std::function<std::string(const ShownMessage&)> advice;

  protected:
    void present(const ShownMessage& message) override;
    void onProgress(const ProgressEvent& event) override;

  private:
    void draw(bool force);
    // The answer given without a person: printed after the question.
    bool unattended(const std::string& text, bool answer, const char* yes, const char* no);
    bool assumeYes_;
    bool inputGone_ = false;  // stdin ended: nobody answers any more
    bool quiet_;
    bool tty_;
    bool open_ = false;
    int64_t lastDrawMs_ = -1;
};

}  // namespace ostrand::cli
