#include "app/password_rules.h"

#include <gtest/gtest.h>

#include "app/device_database.h"
#include "app/setup_settings.h"

using namespace ostrand;

namespace {

TEST(PasswordRules, TextVerdicts) {
    struct Case {
        std::string text;
        int32_t bootType;
        bool hex, blank;
        RuleVerdict want;
    };
    const std::string f8(8, 'F');
    const Case cases[] = {
        {std::string(256, 'a'), 5, false, false, {10122, 0, 12129}},
        {"ABCDEFGHIJKL", 8, true, false, {10137, 0, 0}},  // ASCII length, read as hex
        {"", 5, true, false, {10123, 0, 0}},
        {"xaaay", 5, false, false, {10134, 0, 12110}},
        {"xaay", 5, false, false, {}},
        {"A1B2B2C3B2", 5, true, false, {}},
        {f8, 3, true, false, {}},                    // blank chip of a fixed type
        {"AAAAAAAA", 3, true, false, {}},            // fixed at the area: no repetition rule
        {std::string(510, 'F'), 5, true, true, {}},  // "Device is Blank"
        {std::string(510, 'F'), 5, true, false, {10134, 0, 12110}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkPasswordText(c.text, c.bootType, c.hex, c.blank), c.want)
            << c.text << " type " << c.bootType;
}

TEST(PasswordRules, AddressVerdicts) {
    DeviceDefinition d;
    d.passwordAreaStart = 0xBF00;
    d.passwordAreaEnd = 0xBFFF;
    struct Case {
        const char* text;
        bool count;
        int32_t code;
        uint32_t value;
    };
    const Case cases[] = {
        {"", false, 10133, 0},           {"0xBG00", false, 10132, 0}, {"0x", true, 10130, 0},
        {"0x1BF00000", false, 10121, 0}, {"0xBEFF", true, 10120, 0},  {"0XBF00", true, 0, 0xBF00},
        {"0xbfff", false, 0, 0xBFFF},
    };
    for (const Case& c : cases) {
        uint32_t value = 0;
        const RuleVerdict v = checkPasswordAddress(c.text, d, c.count, value);
        EXPECT_EQ(v.code, c.code) << c.text;
        EXPECT_EQ(v.hint, c.code == 10120 || c.code == 10121 ? 12110 : 0) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(PasswordRules, ColonByte) {
    EXPECT_TRUE(passwordHoldsColon("A13AB2", true));
    EXPECT_FALSE(passwordHoldsColon("A3A1B2", true));  // 3A across two bytes
    EXPECT_TRUE(passwordHoldsColon("ab:c", false));
}

TEST(PasswordRules, ApplyingADevice) {
    auto device = [](const char* name, int32_t bootType) {
        DeviceDefinition d;
        d.deviceName = name;
        d.bootType = bootType;
        d.passwordAreaStart = 0x7F00;
        d.passwordAreaEnd = 0x7FFF;
        return d;
    };
    const DeviceDefinition fixed8 = device("B8", 8), other8 = device("C8", 8),
                           free5 = device("B5", 5), free6 = device("B6", 6);
    auto held = [] {
        SetupValues v;
        v.passDevBlank = 2;
        v.passDevType = 1;
        v.passDevPassword = "A1A2A3A4A5A6A7A8A9B1B2B3";
        v.passDevNumAdd = 0x10;
        v.passDevCmpAdd = 0x11;
        v.passObjBlank = 2;
        v.passObjNumAdd = 0x20;
        return v;
    };
    struct Case {
        const DeviceDefinition *from, *to;
        std::string password;  // the device password afterwards
        int32_t devOption, objOption;
        uint32_t devAddress;
    };
    const std::string blank(24, 'F');
    const Case cases[] = {
        {&fixed8, &fixed8, "A1A2A3A4A5A6A7A8A9B1B2B3", 2, 2, 0x7F00},  // known: kept
        {&other8, &fixed8, blank, 1, 2, 0x7F00},  // the other chip's: blank chip
        {&fixed8, &free5, "", 0, 2, 0},           // leaving a fixed type
        {&free5, &free6, "", 0, 0, 0},            // another boot type
        {&free5, &free5, "A1A2A3A4A5A6A7A8A9B1B2B3", 2, 2, 0x10},
    };
    for (const Case& c : cases) {
        SetupValues v = held();
        applyDevicePasswords(c.from, *c.to, v);
        const std::string what =
            std::string(c.from ? c.from->deviceName : "none") + " -> " + c.to->deviceName;
        EXPECT_EQ(v.passDevPassword, c.password) << what;
        EXPECT_EQ(v.passDevBlank, c.devOption) << what;
        EXPECT_EQ(v.passObjBlank, c.objOption) << what;
        EXPECT_EQ(v.passDevNumAdd, c.devAddress) << what;
    }
    // A fixed type with no usable password of its own length takes the blank chip's.
    SetupValues v = held();
    v.passDevPassword = "A1A2";
    applyDevicePasswords(&fixed8, fixed8, v);
    EXPECT_EQ(v.passDevPassword, blank);
}

}  // namespace
