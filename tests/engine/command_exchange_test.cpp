// The command layer's exchanges, one at a time, over a port in memory: what
// goes out (bytes and stop-bit marks), how long the engine waits, and what a
// wrong or missing reply is reported as.
#include <gtest/gtest.h>

#include <memory>

#include "memory_port.h"
#include "recording_operator.h"
#include "sim_rig.h"

namespace ostrand::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct ExchangeRig {
    TestFolder folder;
    Session session;
    RecordingOperator op{session};
    DeviceDatabase devices{session, op};
    SetupSettings settings{session, op, devices};
    PasswordSet passwords{session, op};
    MemoryPort* port = nullptr;
    std::unique_ptr<CFlashEngine> engine;

    explicit ExchangeRig(const std::string& device = "KM16F48") {
        writeFastDefinition(folder.path());
        EXPECT_EQ(devices.load(folder.path() / "Ostrand.def"), 0);
        settings.initialise(folder.path());
        auto memory = std::make_unique<MemoryPort>();
        port = memory.get();
        engine = std::make_unique<CFlashEngine>(session, op, devices, settings, passwords,
                                                std::move(memory));
        EXPECT_GE(devices.select(device), 0);
        EXPECT_EQ(engine->loadDeviceParameters(), 1);
        EXPECT_TRUE(port->open("memory", 9600));
        port->rates.clear();
        op.messages.clear();
    }
    const ShownMessage* only() const { return op.messages.size() == 1 ? &op.messages[0] : nullptr; }
};

TEST(CommandExchange, EchoedCommandPassesAfterOneWaitOfTheEchoTime) {
    ExchangeRig rig;
    const uint8_t write = wcpCommand(kWcpWrite);
    rig.port->script = {{write}};
    EXPECT_EQ(rig.engine->commandExchange(WcpKind, kWcpWrite, write, 191), 1);
    ASSERT_EQ(rig.port->frames.size(), 1u);
    EXPECT_EQ(rig.port->frames[0].bytes, Bytes{write});
    EXPECT_EQ(rig.port->frames[0].twoStopBitsFirst, 0);
    EXPECT_EQ(rig.port->frames[0].lastByteApart, 0);
    EXPECT_EQ(rig.port->readWaits, std::vector<uint32_t>{rig.engine->timeouts().echo});
    EXPECT_TRUE(rig.op.messages.empty());
}

TEST(CommandExchange, WrongEchoIsReportedByWhatTheReplyMeans) {
    const uint8_t write = wcpCommand(kWcpWrite);
    struct Case {
        uint8_t reply;
        int32_t illegalWriteReported;
        int32_t code, hint;  // 0: nothing shown
    };
    const Case cases[] = {
        {0x51, 0, 10008, 0},      // the target's own error code
        {0x00, 0, 10006, 12127},  // a byte that means nothing: a command error
        {0x54, 1, 10016, 0},      // an illegal write, while programming
        {0x54, 0, 0, 0},          // the same during a data write: silent
    };
    for (const Case& c : cases) {
        ExchangeRig rig;
        rig.session.ReportIllegalWrite = c.illegalWriteReported;
        rig.port->script = {{c.reply}};
        EXPECT_EQ(rig.engine->commandExchange(WcpKind, kWcpWrite, write, 191), 0) << int(c.reply);
        if (c.code == 0) {
            EXPECT_TRUE(rig.op.messages.empty()) << int(c.reply);
            continue;
        }
        const ShownMessage* m = rig.only();
        ASSERT_NE(m, nullptr) << int(c.reply);
        EXPECT_EQ(m->code, c.code);
        EXPECT_EQ(m->hint, c.hint);
        EXPECT_EQ(m->detail, "WCP");
    }
}

TEST(CommandExchange, SilentTargetIsATimeOutAtTheExchangesPlace) {
    ExchangeRig rig;
    rig.port->script = {{}};
    EXPECT_EQ(rig.engine->commandExchange(WcpKind, kWcpSum, wcpCommand(kWcpSum), 241), 0);
    ASSERT_NE(rig.only(), nullptr);
    EXPECT_EQ(rig.only()->code, 10002);
    EXPECT_EQ(rig.only()->place, 241);
    EXPECT_EQ(rig.only()->detail, "WCP");

    rig.op.messages.clear();
    const uint8_t sum = bootCommand(rig.engine->device().bootType, kColSum);
    ASSERT_NE(sum, 0);
    EXPECT_EQ(rig.engine->commandExchange(BootKind, kColSum, sum, 182), 0);
    ASSERT_NE(rig.only(), nullptr);
    EXPECT_EQ(rig.only()->code, 10002);
    EXPECT_EQ(rig.only()->place, 182);
    EXPECT_EQ(rig.only()->detail, "Boot Program");
}

TEST(FrameExchange, HeaderIsOneFrameWithBothStopBitMarks) {
    ExchangeRig rig;
    const uint8_t read = wcpCommand(kWcpRead);
    rig.port->script = {{read}, {read}};
    // The split applies only where the delay flags name the link phase.
    rig.session.ComDelayFlags = kLinkWcp;
    rig.session.LinkPhase = kLinkBootProgram;
    EXPECT_EQ(rig.engine->headerExchange(WcpKind, kWcpRead, 0x00012340, 0x0102, 202), 1);
    ASSERT_EQ(rig.port->frames.size(), 1u);
    EXPECT_EQ(rig.port->frames[0].twoStopBitsFirst, 0);
    EXPECT_EQ(rig.port->frames[0].lastByteApart, 0);
    rig.port->frames.clear();
    rig.session.LinkPhase = kLinkWcp;
    EXPECT_EQ(rig.engine->headerExchange(WcpKind, kWcpRead, 0x00012340, 0x0102, 202), 1);
    ASSERT_EQ(rig.port->frames.size(), 1u);
    const Bytes header = {0x00, 0x01, 0x23, 0x40, 0x01, 0x02};
    uint8_t sum = 0;
    for (uint8_t b : header) sum = uint8_t(sum + b);
    Bytes frame = header;
    frame.push_back(uint8_t(0x100 - sum));
    EXPECT_EQ(rig.port->frames[0].bytes, frame);
    EXPECT_EQ(rig.port->frames[0].twoStopBitsFirst, 1);
    EXPECT_EQ(rig.port->frames[0].lastByteApart, 1);
    EXPECT_TRUE(rig.op.messages.empty());
}

TEST(FrameExchange, DataGoesFirstAndItsChecksumApartBeforeTheEcho) {
    ExchangeRig rig;
    const uint8_t write = wcpCommand(kWcpWrite);
    // A target that answers the data part already has its answer taken as
    // the echo: the engine must not read between the two frames.
    rig.port->script = {{}, {write}};
    rig.session.ComDelayFlags = kLinkWcp;
    rig.session.LinkPhase = kLinkWcp;
    const Bytes data = {0x10, 0x20, 0xF0};
    EXPECT_EQ(rig.engine->dataExchange(WcpKind, kWcpWrite, data.data(), 3, 193), 1);
    ASSERT_EQ(rig.port->frames.size(), 2u);
    EXPECT_EQ(rig.port->frames[0].bytes, data);
    EXPECT_EQ(rig.port->frames[0].twoStopBitsFirst, 1);
    EXPECT_EQ(rig.port->frames[0].lastByteApart, 0);
    EXPECT_EQ(rig.port->frames[1].bytes, Bytes{0xE0});  // 0x100 - (0x10 + 0x20 + 0xF0) & 0xFF
    EXPECT_EQ(rig.port->frames[1].twoStopBitsFirst, 0);
    EXPECT_EQ(rig.port->frames[1].lastByteApart, 1);
    EXPECT_EQ(rig.port->readWaits.size(), 1u);
    EXPECT_EQ(rig.port->pending(), 0u);
}

TEST(Completion, WaitsTheGivenTimeAndReportsAnEccErrorOnlyWhereAsked) {
    ExchangeRig rig;
    const uint8_t write = wcpCommand(kWcpWrite);
    rig.port->script = {{0x58}};
    rig.engine->setCommand(write);
    ASSERT_EQ(rig.engine->sendCommand(0, 0), 1);
    EXPECT_EQ(rig.engine->readCompletion(WcpKind, kWcpWrite, 1234, 194, 19), 0);
    EXPECT_EQ(rig.port->readWaits, std::vector<uint32_t>{1234});
    ASSERT_NE(rig.only(), nullptr);
    EXPECT_EQ(rig.only()->code, 10010);
    EXPECT_EQ(rig.only()->place, 19);

    // Without a place for it, 58 is the table's verify error.
    rig.op.messages.clear();
    rig.port->script = {{0x58}};
    ASSERT_EQ(rig.engine->sendCommand(0, 0), 1);
    EXPECT_EQ(rig.engine->readCompletion(WcpKind, kWcpWrite, 1234, 194), 0);
    ASSERT_NE(rig.only(), nullptr);
    EXPECT_EQ(rig.only()->code, 10007);

    rig.op.messages.clear();
    rig.port->script = {{write}};
    ASSERT_EQ(rig.engine->sendCommand(0, 0), 1);
    EXPECT_EQ(rig.engine->readCompletion(WcpKind, kWcpWrite, 1234, 194, 19), 1);
    EXPECT_TRUE(rig.op.messages.empty());
}

TEST(RateChange, LocalRateChangesOnlyAfterTheEchoOfTheRateCode) {
    enum Reply { Echo, ErrorCode, Silence };
    for (Reply reply : {Echo, ErrorCode, Silence}) {
        ExchangeRig rig;
        SetupValues& v = rig.settings.inForce;
        v.dataRate = DataRate::parse("19200");
        applyFixedClock(rig.engine->device().bootType, v);
        ASSERT_EQ(rig.engine->prepareDataRate(), 1);
        const int32_t code = rateCodeFor(rig.engine->device().bootType, v.clock, v.dataRate);
        ASSERT_GE(code, 0);
        const uint8_t rateCode = static_cast<uint8_t>(code);
        rig.port->script = {reply == Echo        ? Bytes{rateCode}
                            : reply == ErrorCode ? Bytes{0x51}
                                                 : Bytes{}};
        EXPECT_EQ(rig.engine->changeDataRate(kColRamTransfer), reply == Echo ? 1 : 0);
        ASSERT_EQ(rig.port->frames.size(), 1u);
        EXPECT_EQ(rig.port->frames[0].bytes, Bytes{rateCode});
        if (reply == Echo) {
            EXPECT_EQ(rig.port->rates, std::vector<uint32_t>{19200});
            EXPECT_TRUE(rig.op.messages.empty());
            continue;
        }
        // The target still listens at the old rate: so must the port.
        EXPECT_TRUE(rig.port->rates.empty());
        EXPECT_EQ(rig.port->currentBaud(), 9600u);
        ASSERT_NE(rig.only(), nullptr);
        EXPECT_EQ(rig.only()->code, reply == Silence ? 10002 : 10008);
        if (reply == Silence) {
            EXPECT_EQ(rig.only()->place, 38);
        }
        EXPECT_EQ(rig.only()->detail, "Boot Program");
    }
}

TEST(Disconnect, ClosesThePortAndTellsTheFrontEnd) {
    ExchangeRig rig;
    int told = 0;
    EngineHooks hooks;
    hooks.disconnected = [&] { ++told; };
    rig.engine->setHooks(hooks);
    rig.engine->disconnect();
    EXPECT_TRUE(rig.port->closed);
    EXPECT_FALSE(rig.engine->port().isOpen());
    EXPECT_FALSE(rig.engine->portOpen());
    EXPECT_EQ(rig.engine->linkState(), 3);
    EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace ostrand::test
