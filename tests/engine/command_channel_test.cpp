// The command channel's exchanges, one at a time, over a port in memory: what
// goes out (bytes and stop-bit marks), how long it waits, and what a wrong
// reply is reported as.
#include <cstdio>

#include "engine/command_channel.h"
#include "memory_port.h"
#include "recording_operator.h"
#include "sim_rig.h"

namespace ostrand::test {
namespace {

// The channel alone: a port in memory and the device's boot type, no engine.
struct ChannelRig {
    Session session;
    RecordingOperator op{session};
    MemoryPort port;
    DeviceParameters dev;
    EngineTimeouts timeouts;
    EngineHooks hooks;
    CommandChannel channel{port, session, op, dev, timeouts, hooks};

    explicit ChannelRig(int32_t bootType = 1) {
        dev.bootType = bootType;
        EXPECT_TRUE(port.open("memory", 9600));
    }
    const ShownMessage* only() const { return op.messages.size() == 1 ? &op.messages[0] : nullptr; }
};

// Every command of every reply-check column: its echo passes after one wait
// of the echo time; a byte the column does not know is the command error
// naming that command, also when it comes as the echo of the header or the
// completion that follow the command.
TEST(CommandChannel, EveryColumnPassesItsEchoAndNamesItsCommandInTheCommandError) {
    struct Column {
        ReplyKind kind;
        int32_t bootType, column;
    };
    std::vector<Column> columns;
    for (int32_t c = kWcpWrite; c <= kWcpRateCode; ++c)
        if (wcpCommand(c) != 0) columns.push_back({WcpKind, 1, c});
    for (int32_t bt = 1; bt <= 13; ++bt)
        for (int32_t c = kColProgram; c <= kColIdent2; ++c)
            if (bootCommand(bt, c) != 0) columns.push_back({BootKind, bt, c});
    ASSERT_GT(columns.size(), 20u);
    for (const Column& col : columns) {
        const uint8_t code =
            col.kind == WcpKind ? wcpCommand(col.column) : bootCommand(col.bootType, col.column);
        SCOPED_TRACE(testing::Message() << "kind " << col.kind << " boot type " << col.bootType
                                        << " column " << col.column << " code " << int(code));
        uint8_t stranger = 0;
        while (classifyReply(col.kind, col.bootType, col.column, stranger).kind !=
               ReplyVerdict::CommandError)
            ASSERT_NE(++stranger, 0);
        const char* detail = col.kind == WcpKind ? "WCP" : "Boot Program";
        char named[32];
        std::snprintf(named, sizeof named, "(%02XH was sent.)", code);

        ChannelRig rig(col.bootType);
        rig.port.script = {{code}};
        EXPECT_EQ(rig.channel.command(col.kind, col.column, code, 191).kind, Reply::Ok);
        ASSERT_EQ(rig.port.frames.size(), 1u);
        EXPECT_EQ(rig.port.frames[0].bytes, Bytes{code});
        EXPECT_EQ(rig.port.readWaits, std::vector<uint32_t>{rig.timeouts.echo});
        EXPECT_TRUE(rig.op.messages.empty());

        rig.port.script = {{stranger}};
        EXPECT_EQ(rig.channel.header(col.kind, col.column, 0x1000, 4, 192).kind, Reply::Refused);
        ASSERT_NE(rig.only(), nullptr);
        EXPECT_EQ(rig.only()->code, 10006);
        EXPECT_EQ(rig.only()->detail, detail);
        EXPECT_NE(rig.only()->text.find(named), std::string::npos) << rig.only()->text;

        rig.op.messages.clear();
        rig.port.queue({stranger});
        EXPECT_EQ(rig.channel.completion(col.kind, col.column, 700, 194).kind, Reply::Refused);
        EXPECT_EQ(rig.port.readWaits.back(), 700u);  // the caller's wait, not the echo's
        ASSERT_NE(rig.only(), nullptr);
        EXPECT_NE(rig.only()->text.find(named), std::string::npos) << rig.only()->text;
    }
}

TEST(CommandChannel, HeaderIsOneFrameWithBothStopBitMarks) {
    ChannelRig rig;
    const uint8_t read = wcpCommand(kWcpRead);
    rig.port.script = {{read}, {read}};
    // The split applies only where the delay flags name the link phase.
    rig.session.ComDelayFlags = kLinkWcp;
    rig.session.LinkPhase = kLinkBootProgram;
    EXPECT_TRUE(rig.channel.header(WcpKind, kWcpRead, 0x00012340, 0x0102, 202));
    ASSERT_EQ(rig.port.frames.size(), 1u);
    EXPECT_EQ(rig.port.frames[0].twoStopBitsFirst, 0);
    EXPECT_EQ(rig.port.frames[0].lastByteApart, 0);
    rig.port.frames.clear();
    rig.session.LinkPhase = kLinkWcp;
    EXPECT_TRUE(rig.channel.header(WcpKind, kWcpRead, 0x00012340, 0x0102, 202));
    ASSERT_EQ(rig.port.frames.size(), 1u);
    // The address and count high byte first, then the two's complement sum.
    EXPECT_EQ(rig.port.frames[0].bytes, (Bytes{0x00, 0x01, 0x23, 0x40, 0x01, 0x02, 0x99}));
    EXPECT_EQ(rig.port.frames[0].twoStopBitsFirst, 1);
    EXPECT_EQ(rig.port.frames[0].lastByteApart, 1);
    EXPECT_TRUE(rig.op.messages.empty());
}

TEST(CommandChannel, DataGoesFirstAndItsChecksumApartBeforeTheEcho) {
    ChannelRig rig;
    const uint8_t write = wcpCommand(kWcpWrite);
    // A target that answers the data part already has its answer taken as
    // the echo: the channel must not read between the two frames.
    rig.port.script = {{}, {write}};
    rig.session.ComDelayFlags = kLinkWcp;
    rig.session.LinkPhase = kLinkWcp;
    const Bytes data = {0x10, 0x20, 0xF0};
    EXPECT_TRUE(rig.channel.data(WcpKind, kWcpWrite, data.data(), 3, 193));
    ASSERT_EQ(rig.port.frames.size(), 2u);
    EXPECT_EQ(rig.port.frames[0].bytes, data);
    EXPECT_EQ(rig.port.frames[0].twoStopBitsFirst, 1);
    EXPECT_EQ(rig.port.frames[0].lastByteApart, 0);
    EXPECT_EQ(rig.port.frames[1].bytes, Bytes{0xE0});  // 0x100 - (0x10 + 0x20 + 0xF0) & 0xFF
    EXPECT_EQ(rig.port.frames[1].twoStopBitsFirst, 0);
    EXPECT_EQ(rig.port.frames[1].lastByteApart, 1);
    EXPECT_EQ(rig.port.readWaits.size(), 1u);
    EXPECT_EQ(rig.port.pending(), 0u);
}

}  // namespace
}  // namespace ostrand::test
