#include <gtest/gtest.h>

#include "app/messages.h"
#include "app/operator.h"
#include "recording_operator.h"

using namespace ostrand;

TEST(MessageLayout, PrefixPlaceDetailAndHint) {
    const struct {
        int32_t code, place, hint;
        const char* detail;
        std::string want;
    } cases[] = {
        {10002, 162, 0, "", "E002-162 : No response from the device; a timeout occurred."},
        {11006, 0, 0, "", "R006 : Programming completed successfully."},
        {10102, 0, 12104, "S1-DEV",
         "E102 : The definition file contains undefined or invalid or missing items.  "
         "\"S1-DEV\"\nGet the latest definition file from our Web site. "},
        // A hint number without text adds nothing; a code without text falls back.
        {10050, 0, 12999, "", "E050 : An application error."},
        {10118, 0, 0, "", "E118 :  "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatMessage(c.code, c.place, c.hint, c.detail), c.want) << c.code;
    EXPECT_EQ(formatMessage(12149, 0, 0, "").substr(0, 14), "M149 : M149 : ");
    EXPECT_EQ(messagePrefix(12000), "R1000");
    EXPECT_EQ(messageClass(11999), MessageClass::Result);
    EXPECT_EQ(messageClass(12209), MessageClass::Notice);
    EXPECT_EQ(formatCommandError(0x31, "WCP"),
              "E006 : A command error occurred. (31H was sent.)  \"WCP\"\n"
              "The specified command is not supported.");
}

TEST(MessageLayout, DetailsNeverCarryRawBytes) {
    EXPECT_EQ(printableDetail("S-\x1B[2J\x7F\xC3\xA4\n\t"), "S-\\x1B[2J\\x7F\\xC3\\xA4\\x0A\\x09");
    EXPECT_EQ(printableDetail("/tmp/plain path.h20"), "/tmp/plain path.h20");
    // Cut to a sensible length, never inside an escape.
    const std::string cut = printableDetail(std::string(kDetailLimit - 2, 'x') + "\x01yyyy");
    EXPECT_EQ(cut, std::string(kDetailLimit - 2, 'x') + "...");
    EXPECT_EQ(printableDetail(std::string(kDetailLimit, 'z')), std::string(kDetailLimit, 'z'));

    // Every message goes through it: a section name from a broken file.
    Session session;
    RecordingOperator op(session);
    op.showMessage(10116, 0, 12104, "\x1B]0;owned\x07-X");
    EXPECT_EQ(op.last()->detail, "\\x1B]0;owned\\x07-X");
    EXPECT_EQ(op.last()->text.find('\x1B'), std::string::npos);
}

TEST(ShowMessage, KeepsLastCodeAndExitStatus) {
    Session s;
    RecordingOperator op(s);
    EXPECT_EQ(s.ExitStatus, 3);
    s.ExitStatus = 1;
    op.showMessage(11006);
    EXPECT_EQ(s.ExitStatus, 1);
    EXPECT_EQ(s.LastMessageCode, 11006);
    op.showMessage(12209);
    EXPECT_EQ(s.ExitStatus, 1);
    op.showMessage(10002, 162);
    EXPECT_EQ(s.ExitStatus, 0);
    EXPECT_EQ(s.LastMessageCode, 10002);

    s.ExitStatus = 2;
    s.LastMessageCode = 0;
    op.showCommandError(0x20, "Boot Program");
    EXPECT_EQ(s.ExitStatus, 0);
    EXPECT_EQ(s.LastMessageCode, 0);
}

// Every front end sees the same events: the operation, bytes done of all, and
// one close however often the operation closes.
TEST(ProgressEvents, OneStreamForFrontEndAndListener) {
    Session session;
    RecordingOperator op(session);
    std::vector<ProgressEvent> heard;
    op.setProgressListener([&](const ProgressEvent& e) { heard.push_back(e); });

    op.progressOpen("Programming", 300, true, true, false);
    op.progressStep(100);
    op.progressStep(100);
    op.progressSetPos(250);
    op.progressSetText("Verifying");
    op.progressClose();
    op.progressClose();

    ASSERT_EQ(heard.size(), 6u);
    using K = ProgressEvent::Kind;
    EXPECT_EQ(heard[0].kind, K::Open);
    EXPECT_EQ(heard[0].total, 300);
    EXPECT_TRUE(heard[0].allowCancel);
    EXPECT_EQ(heard[2].done, 200);
    EXPECT_EQ(heard[3].done, 250);
    EXPECT_EQ(heard[4].operation, "Verifying");
    EXPECT_EQ(heard[5].kind, K::Close);
    EXPECT_FALSE(op.progressOpened());

    // A new operation starts from nothing.
    op.progressOpen("Erasing", 10, false, false, false);
    EXPECT_EQ(op.progress().done, 0);
}
