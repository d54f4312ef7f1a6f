// The outcome an operation hands its caller: the status it returned and the
// message that tells it, taken from what the operator was shown meanwhile.
#include <gtest/gtest.h>

#include "app/operator.h"
#include "recording_operator.h"

using namespace ostrand;

namespace {

struct OutcomeRig {
    Session session;
    RecordingOperator op{session};
};

TEST(Outcome, TheFirstErrorTellsEvenWhenResultsAndNoticesFollow) {
    OutcomeRig rig;
    rig.op.showMessage(11017);  // before the operation: not its outcome
    const Outcome o = captureOutcome(rig.op, [&] {
        rig.op.showMessage(11016);
        rig.op.showMessage(10002, 162, 12100, "WCP");
        rig.op.showMessage(10004, 7);  // what followed the failure
        rig.op.showMessage(11002);     // a result after the error
        rig.op.showMessage(12153);     // a notice
        return -1;
    });
    EXPECT_EQ(o.status, -1);
    EXPECT_EQ(o.code, 10002);
    EXPECT_EQ(o.place, 162);
    EXPECT_EQ(o.hint, 12100);
    EXPECT_EQ(o.detail, "WCP");
    EXPECT_TRUE(o.errorShown());
    // Every message still reached the person.
    EXPECT_EQ(rig.op.codes(), (std::vector<int32_t>{11017, 11016, 10002, 10004, 11002, 12153}));
}

TEST(Outcome, WithoutAnErrorTheLastResultTellsAndNoticesNever) {
    OutcomeRig rig;
    Outcome o = captureOutcome(rig.op, [&] {
        rig.op.showMessage(11016);
        rig.op.showMessage(11017, 0, 0, "now");
        rig.op.showMessage(12153);
        return 1;
    });
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.code, 11017);
    EXPECT_EQ(o.detail, "now");
    EXPECT_FALSE(o.errorShown());

    o = captureOutcome(rig.op, [&] {
        rig.op.showMessage(12153);
        return 0;
    });
    EXPECT_EQ(o.code, 0) << "a notice is no outcome";
    EXPECT_EQ(o.status, 0);
}

TEST(Outcome, TheCommandErrorCountsAsAnError) {
    OutcomeRig rig;
    const Outcome o = captureOutcome(rig.op, [&] {
        rig.op.showCommandError(0x31, "WCP");
        rig.op.showMessage(11003);
        return 0;
    });
    EXPECT_EQ(o.code, 10006);
    EXPECT_EQ(o.hint, 12127);
    EXPECT_EQ(o.detail, "WCP");
}

TEST(Outcome, NestedOperationsEachKeepTheirOwn) {
    OutcomeRig rig;
    Outcome inner;
    const Outcome outer = captureOutcome(rig.op, [&] {
        rig.op.showMessage(11002);
        inner = captureOutcome(rig.op, [&] {
            rig.op.showMessage(11017);
            return 1;
        });
        rig.op.showMessage(11006);
        return 1;
    });
    EXPECT_EQ(inner.code, 11017);
    EXPECT_EQ(outer.code, 11006);
    // Once both have ended, nothing more is collected.
    rig.op.showMessage(10002);
    const Outcome after = captureOutcome(rig.op, [] { return 1; });
    EXPECT_EQ(after.code, 0);
}

}  // namespace
