// An operator for runs that nobody watches: every question is answered
// "no", nothing is shown and no progress is drawn. Subclasses may still
// present the messages somewhere (a line on stderr).
#pragma once

#include "operator.h"

namespace ostrand {

class QuietOperator : public Operator {
  public:
    using Operator::Operator;
    bool ask(int32_t) override { return false; }
    bool askOkCancel(int32_t) override { return false; }
    bool notice(int32_t) override { return false; }
    bool progressAborted() override { return false; }

  protected:
    void present(const ShownMessage&) override {}
    void onProgress(const ProgressEvent&) override {}
};

}  // namespace ostrand
