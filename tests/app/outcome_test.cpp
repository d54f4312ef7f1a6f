// The outcome an operation hands its caller: the status it returned and the
// message that tells it, taken from what the operator was shown meanwhile.
#include <gtest/gtest.h>

#include "app/operator.h"
#include "recording_operator.h"

using namespace ostrand;

namespace {

struct Shown {
    int32_t code, place = 0, hint = 0;  // code 0: the command error 31H for "WCP"
    const char* detail = "";
};

// The first error tells even when results and notices follow; without an
// error the last result tells, and a notice never does.
TEST(Outcome, TheMessageThatTells) {
    const struct {
        std::vector<Shown> shown;
        Outcome want;
    } cases[] = {
        {{{11016}, {10002, 162, 12100, "WCP"}, {10004, 7}, {11002}, {12153}},
         {-1, 10002, 162, 12100, "WCP"}},
        {{{11016}, {11017, 0, 0, "now"}, {12153}}, {-1, 11017, 0, 0, "now"}},
        {{{12153}}, {-1, 0, 0, 0, ""}},
        {{{0}, {11003}}, {-1, 10006, 0, 12127, "WCP"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want.code);
        Session session;
        RecordingOperator op{session};
        op.showMessage(11017);  // before the operation: not its outcome
        const Outcome o = captureOutcome(op, [&] {
            for (const Shown& m : c.shown)
                m.code ? op.showMessage(m.code, m.place, m.hint, m.detail)
                       : op.showCommandError(0x31, "WCP");
            return -1;
        });
        EXPECT_EQ(o.status, -1);
        EXPECT_EQ(o.code, c.want.code);
        EXPECT_EQ(o.place, c.want.place);
        EXPECT_EQ(o.hint, c.want.hint);
        EXPECT_EQ(o.detail, c.want.detail);
        EXPECT_EQ(o.errorShown(), c.want.code / 1000 == 10);
        std::vector<int32_t> all{11017};  // every message still reached the person
        for (const Shown& m : c.shown) all.push_back(m.code ? m.code : 10006);
        EXPECT_EQ(op.codes(), all);
    }
}

TEST(Outcome, NestedOperationsEachKeepTheirOwn) {
    Session session;
    RecordingOperator op{session};
    Outcome inner;
    const Outcome outer = captureOutcome(op, [&] {
        op.showMessage(11002);
        inner = captureOutcome(op, [&] {
            op.showMessage(11017);
            return 1;
        });
        op.showMessage(11006);
        return 1;
    });
    EXPECT_EQ(inner.code, 11017);
    EXPECT_EQ(outer.code, 11006);
    // Once both have ended, nothing more is collected.
    op.showMessage(10002);
    EXPECT_EQ(captureOutcome(op, [] { return 1; }).code, 0);
}

}  // namespace
