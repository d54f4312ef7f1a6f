// The boot programs, exchange by exchange: matching, rate codes, status,
// erase, SUM, protect, read, passwords, single-boot programming and faults.
#include "sim_host.h"

namespace ostrand::sim::test {
namespace {

// The 12-byte password form with its checksum (wrong by one if asked).
Bytes fixedPassword(Bytes pw, bool rightSum = true) {
    pw.push_back(uint8_t(negSum(pw) + (rightSum ? 0 : 1)));
    return pw;
}

// The two bytes an erase in boot mode answers: the blank SUM of the SUM area.
Bytes blankSum(const DeviceDefinition& d) {
    const uint16_t s = uint16_t((d.sumAreaEnd - d.sumAreaStart + 1) * 0xFF);
    return {uint8_t(s >> 8), uint8_t(s)};
}

class Matching : public ::testing::TestWithParam<std::string> {};

TEST_P(Matching, AnswersAtTheInitialRateAndLosesBytesAtAnotherRate) {
    SimHost host(GetParam());
    const bool password = PasswordBootTypes(host.dev.bootType);
    host.start(password ? 115200 : 9600);
    if (host.matchByte() == 0x5A) {
        host.setRate(19200);
        host.send({0x5A});
        EXPECT_TRUE(host.silent());
        host.setRate(9600);
    }
    host.connect();
    // A command at a rate the boot program is not listening at is lost, and
    // the boot program starts over: the matching byte is answered again.
    host.setRate(2400);
    host.send({0x90});
    EXPECT_TRUE(host.silent());
    host.setRate(password ? 2400 : 9600);
    host.connect();
}

INSTANTIATE_TEST_SUITE_P(EveryDemoDevice, Matching,
                         ::testing::Values("KM16F48", "KM16F32S", "KM16F96", "KM16F60P", "KM8P32",
                                           "KM8P48S", "KM8R64", "KM8R32S", "KMV5A128", "KMV5A60P",
                                           "KMV6B256", "KMV9C384", "KMV7Q3", "KMR8L256", "KMR8L64S",
                                           "KMR10T128", "KMS11G124", "KMS11G60S", "KMT12E48",
                                           "KMT12E64S"));

TEST(Matching, BootType11NeedsItsSecondExchange) {
    SimHost host("KMS11G124");
    host.start();
    host.exchange({0x86}, {0x86});
    host.send({0x90});
    EXPECT_TRUE(host.silent());
    host.exchange({0x79}, {0x79});
    host.exchange({0x90}, {0x90});
}

TEST(Matching, OneMatchingByteResynchronises) {
    for (const char* name : {"KM16F48", "KMV5A60P", "KMT12E48"}) {
        SCOPED_TRACE(name);
        SimHost host(name);
        host.start();
        const uint8_t sum = bootCommand(host.dev.bootType, 2);
        for (int round = 0; round < 2; ++round) {  // again after a resynchronisation
            host.connect();
            host.exchange({sum}, {sum});
            EXPECT_EQ(host.read(3).size(), 3u);
        }
        // A second matching byte straight after the answer is refused.
        host.connect();
        host.send({host.matchByte()});
        EXPECT_TRUE(host.silent(300));
        host.connect();
    }
}

// The SUM at the rate a code sets: its rate written out, so that the chip's
// own table does not set the host's.
void sumAtRate(SimHost& host, uint32_t rate) {
    host.setRate(rate);
    host.exchange({0x90}, {0x90});
    EXPECT_EQ(host.read(3).size(), 3u);
}

TEST(RateCodes, EveryCodeOfTheFixedRateBootTypes) {
    for (const char* name :
         {"KM16F48", "KM16F96", "KMV5A128", "KMV6B256", "KMV9C384", "KMT12E48"}) {
        SCOPED_TRACE(name);
        SimHost host(name);
        host.start();
        host.connect();
        const std::pair<uint8_t, uint32_t> codes[] = {{0x18, 19200}, {0x0A, 31250}, {0x07, 38400},
                                                      {0x06, 57600}, {0x05, 62500}, {0x04, 76800},
                                                      {0x28, 9600}};
        for (auto [code, rate] : codes) {
            SCOPED_TRACE(int(code));
            host.exchange({code}, {code});
            sumAtRate(host, rate);
            // Once the rates part, every later exchange would only wait out its time.
            ASSERT_FALSE(HasFailure());
        }
    }
}

TEST(RateCodes, BootType3TakesA0ThenTheCodeOfItsClockRow) {
    const std::pair<uint32_t, std::vector<uint32_t>> clockRows[] = {
        {2400, {19200, 9600, 4800, 2400}},
        {4800, {38400, 19200, 9600, 4800, 2400}},
        {9600, {76800, 38400, 19200, 9600, 4800, 2400}}};
    for (const auto& [initial, row] : clockRows) {
        SimHost host("KM8P32");
        host.start(initial);
        host.connect();
        const auto rows = static_cast<uint8_t>(row.size());
        for (uint8_t code = 0; code < rows; ++code) {
            host.exchange({0xA0}, {0xA0});
            host.exchange({code}, {code});
            sumAtRate(host, row[code]);
        }
        host.exchange({0xA0}, {0xA0});
        host.exchange({rows}, {0x62});  // not in the row
    }
}

TEST(RateCodes, BootType4StaysAt9600AndOnlyBootType11TakesTheNextByte) {
    SimHost bt4("KM8R64");
    bt4.start();
    bt4.connect();
    bt4.exchange({0xFF}, {0xFF});
    bt4.exchange({0x90}, {0x90});
    SimHost bt11("KMS11G124");
    bt11.start();
    bt11.connect();
    bt11.exchange({0x86}, {0x86});
    sumAtRate(bt11, 62500);
    // Matched at their working rate, the password types have no rate code:
    // between commands that byte is a new matching (before each WCP), and
    // the chip stays at its rate.
    for (const char* name : {"KMV7Q3", "KMR8L256", "KMR10T128"}) {
        SCOPED_TRACE(name);
        SimHost host(name);
        host.start();
        host.connect();
        for (int round = 0; round < 2; ++round) {
            if (round) host.exchange({0x86}, {0x86});
            host.exchange({0x20}, {0x20});
            EXPECT_EQ(host.read(3).size(), 3u);
        }
    }
}

TEST(BootCommands, StatusEraseSumAndProtectOfBootType5) {
    SimHost host("KMV5A60P");
    host.start();
    host.connect();
    host.exchange({0xC3}, {0xC3, 0x00, 0x02, 0x00, 0x10, 0xF0});  // blank, not protected
    const uint8_t zero[] = {0x00, 0x00};
    host.flash().program(0x1000, zero, 2);
    host.exchange({0xC3}, {0xC3, 0x00, 0x02, 0x01, 0x10, 0xEF});
    // SUM of the SUM area: 2 bytes cleared.
    host.exchange({0x90}, Bytes{0x90} + sumReply(uint16_t(0xF000 * 0xFF - 2 * 0xFF)));
    // Protect, with the address part only (the vector area is blank).
    host.exchange({0xFA}, {0xFA});
    host.exchange(host.blankPasswordFrame(), {0xFA});
    host.exchange({0xC3}, {0xC3, 0x00, 0x02, 0x03, 0x10, 0xED});
    // Chip erase: the blank SUM of the SUM area, protection gone.
    host.exchange({0xF0}, {0xF0});
    host.send(host.blankPasswordFrame());
    host.exchange({0xF0}, blankSum(host.dev));
    EXPECT_TRUE(host.flash().isBlank());
    EXPECT_FALSE(host.chip().isProtected());
}

TEST(BootCommands, StatusProtectAndEraseOfTheFixedPasswordTypes) {
    SimHost host("KMR8L64S");
    host.start();
    host.connect();
    for (uint8_t protect : {0, 1}) {
        host.send({0x30});
        const Bytes reply = host.read(1 + 40 + 2 + 19 + 1);
        ASSERT_EQ(reply.size(), 63u);
        EXPECT_EQ(std::string(reply.begin() + 1, reply.begin() + 9), "KMR8L64S");
        EXPECT_EQ(reply[41], 0x03);
        EXPECT_EQ(reply[42], protect);
        EXPECT_EQ(negSum(Bytes(reply.begin() + 1, reply.end() - 1)), reply.back());
        if (protect) break;
        host.exchange({0x60}, {0x60});
        host.exchange(fixedPassword(Bytes(12, 0xFF)), {0x60});
    }
    host.exchange({0x40}, {0x40});
    host.exchange({0x54}, {0x54, 0x4F, 0x5D});
    EXPECT_FALSE(host.chip().isProtected());
    host.exchange({0x54}, {0x51});  // 54 alone is no command
}

TEST(BootCommands, BootType11ReadsIdentifiesAndErasesWithoutPassword) {
    SimHost host("KMS11G124");
    host.start();
    const uint8_t bytes[] = {0x11, 0x22, 0x33};
    host.flash().program(0x2000, bytes, 3);
    host.connect();
    host.exchange({0xD0}, {0xD0, 0x11, 124, negSum({0x11, 124})});
    const Bytes area = {0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF};
    host.exchange({0xC0}, Bytes{0xC0} + area + Bytes{negSum(area)});
    // The read needs the password (here the blank one of 255 bytes); the
    // erase takes the address part only.
    host.exchange({0x40}, {0x40});
    host.send(
        host.passwordFrame(Bytes(255, 0xFF), host.dev.passwordAreaStart, host.dev.passwordAreaEnd));
    host.send({0x00, 0x20, 0x00, 0x00, 0x00, 0x04});
    EXPECT_EQ(host.read(6), (Bytes{0x11, 0x22, 0x33, 0xFF, 0x01, 0x65}));
    host.exchange({0xF0}, {0xF0});
    host.send(host.blankPasswordFrame());
    host.exchange({0xF0}, blankSum(host.dev));
    EXPECT_TRUE(host.flash().isBlank());
}

TEST(SingleBoot, ProgrammingCommandOfEachGroup) {
    const Bytes data = {0xDE, 0xAD, 0xBE, 0xEF};
    const Bytes sum = SimHost::transferEnd(0x0338);  // not the data sum itself
    // 1 and 3: C1, records, the sum of the data; the flash is erased first.
    // 2, 5, 11: password frame, then records starting with segment 0.
    for (const char* name : {"KM16F32S", "KM8P48S", "KM16F60P", "KMV5A60P", "KMS11G60S"}) {
        SCOPED_TRACE(name);
        SimHost host(name);
        host.start();
        const int bt = host.dev.bootType;
        const uint32_t start = host.dev.singleBootFlashStart;
        const uint8_t old = 0x00;
        if (bt == 1 || bt == 3) host.flash().program(start, &old, 1);
        host.connect();
        host.exchange({0x30}, bt <= 3 ? Bytes{0x30, 0xC1} : Bytes{0x30});
        const Bytes records = record(0x00, uint16_t(start + 0x110), data) + record(0x01, 0, {});
        if (bt == 1 || bt == 3)
            host.exchange(records, sum);
        else
            host.exchange(host.blankPasswordFrame() + record(0x02, 0, {0, 0}) + records, sum);
        if (bt == 1 || bt == 3) {
            EXPECT_EQ(host.flash().read(start), 0xFF);
        }
        EXPECT_EQ(host.flash().read(start + 0x113), 0xEF);
    }
    // 8: password, header, data with the ones' complement sum.
    SimHost bt8("KMR8L64S");
    bt8.start();
    bt8.connect();
    bt8.exchange({0x50}, {0x50});
    bt8.exchange(fixedPassword(Bytes(12, 0xFF)), {0x50});
    bt8.exchange(header(0x10010, 4), {0x50});
    bt8.exchange(data + Bytes{uint8_t(~0x38)}, {0x50});
    EXPECT_EQ(bt8.flash().read(0x10013), 0xEF);
    // 7 has no programming command.
    SimHost bt7("KMV7Q3");
    bt7.start();
    bt7.connect();
    bt7.exchange({0x50}, {0x51});
}

TEST(SingleBoot, BootType12TellsRamFromFlashByTheRecords) {
    SimHost host("KMT12E64S");
    host.start();
    host.connect();
    host.exchange({0x30}, {0x30, 0xC1});  // the single-boot variant is ready with C1
    host.exchange(record(0x00, 0x0040, {0x01, 0x02}) + record(0x01, 0, {}),
                  SimHost::transferEnd(3));
    EXPECT_EQ(host.flash().read(0x0041), 0x02);
    EXPECT_EQ(host.chip().wcpKind(), -1);
}

TEST(Passwords, FreeLengthPasswordAcceptedAndRefused) {
    const Bytes wcp = record(0x02, 0, {0, 0}) + record(0x00, 0xE000, {'O', 'W', 'C', 'P', 6, 5}) +
                      record(0x01, 0, {});
    for (bool right : {true, false}) {
        SimHost host("KMV5A128");
        host.start();
        const Bytes secret = {'S', 'E', 'C', 'R', 'E', 'T', '0', '1'};
        const uint8_t count = 8, code = 0x00;
        host.flash().program(0x0080, &count, 1);
        host.flash().program(0x0081, secret.data(), 8);
        host.flash().program(0x0000, &code, 1);  // a program in the vector area
        host.connect();
        Bytes tried = secret;
        if (!right) tried[3] = 'X';
        host.exchange({0x60}, {0x60});
        host.send(host.passwordFrame(tried, 0x0080, 0x0081) + wcp);
        if (right) {
            EXPECT_EQ(host.read(2), SimHost::transferEnd(0x0144));
            EXPECT_EQ(host.chip().wcpKind(), 6);
        } else {
            EXPECT_TRUE(host.silent(300));  // the chip starts over
            host.connect();
        }
    }
}

TEST(Passwords, FixedAndFourByteFormsAnswerTheirCodes) {
    // The 12-byte password against a blank chip (all 0xFF): every byte counts.
    Bytes firstWrong(12, 0xFF);
    firstWrong[0] = 0xFE;
    const struct {
        Bytes password;
        bool rightSum;
        uint8_t reply;
    } fixed[] = {{Bytes(12, 0xFF), true, 0x10},
                 {Bytes(12, 0x41), true, 0x11},
                 {firstWrong, true, 0x11},
                 {Bytes(12, 0xFF), false, 0x18}};
    for (const auto& row : fixed) {
        SCOPED_TRACE(testing::PrintToString(row.password));
        SimHost bt7("KMV7Q3");
        bt7.start();
        bt7.connect();
        bt7.exchange({0x10}, {0x10});
        bt7.exchange(fixedPassword(row.password, row.rightSum), {row.reply});
    }

    SimHost bt3("KM8P32");
    bt3.start();
    bt3.connect();
    bt3.exchange({0x60}, {0x60});
    bt3.exchange({1, 2, 3, 4}, {0x71});

    // BootType 4: the password record opens a chip that holds a password,
    // and the RAM transfer then carries the same password in its frame; a
    // wrong one there makes the chip start over.
    const Bytes text = {8, 'Q', 'U', 'I', 'N', 'T', 'A', 'V', 'E'};
    const Bytes quintave(text.begin() + 1, text.end());
    const Bytes open =
        record(0x10, 0, Bytes{0x01, 0xFF, 0xB7, 0x01, 0xFF, 0xB8} + quintave) + record(0x01, 0, {});
    for (bool right : {true, false}) {
        SimHost bt4("KM8R64");
        bt4.start();
        bt4.flash().program(0x1FFB7, text.data(), 9);
        bt4.connect();
        bt4.exchange({0xFF}, {0xFF});
        bt4.exchange({0x30}, {0x30, 0xC1});
        bt4.exchange(open, SimHost::transferEnd(0));
        EXPECT_EQ(bt4.flash().read(0x1FFB8), 'Q');  // opened, nothing erased
        Bytes frame = bt4.passwordFrame(quintave, 0x1FFB7, 0x1FFB8);
        if (right) {
            bt4.loadWcp("totalwcp.wcp", frame, true);
            EXPECT_EQ(bt4.chip().wcpKind(), 6);
            continue;
        }
        bt4.exchange({0xFF}, {0xFF});
        bt4.exchange({0x60}, {0x60});
        frame.back() = 'X';
        bt4.send(frame + record(0x01, 0, {}));
        EXPECT_TRUE(bt4.silent(300));
    }
}

// The other kinds strike in the engine's tests; noise only here.
TEST(Faults, NoiseComesBeforeTheAnswer) {
    SimHost noisy("KM16F48", {"noise:match"});
    noisy.start();
    noisy.send({0x5A});
    const Bytes got = noisy.read(4);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got.back(), 0x5A);
}

}  // namespace
}  // namespace ostrand::sim::test
