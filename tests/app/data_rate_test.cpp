#include "app/data_rate.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrand {
namespace {

TEST(DataRate, TableTextsParseToTheirNumberAndColumn) {
    const struct {
        const char* text;
        uint32_t bps;
    } kTable[] = {{"2400", 2400},   {"4800", 4800},     {"9600", 9600},    {"19200", 19200},
                  {"31250", 31250}, {"38400", 38400},   {"57600", 57600},  {"62500", 62500},
                  {"76800", 76800}, {"115200", 115200}, {"128000", 128000}};
    static_assert(std::size(kTable) == DataRate::kCount);
    for (int32_t i = 0; i < DataRate::kCount; ++i) {
        const DataRate r = DataRate::parse(kTable[i].text);
        SCOPED_TRACE(kTable[i].text);
        EXPECT_TRUE(r.supported());
        EXPECT_EQ(r.index(), i);
        EXPECT_EQ(r.bps(), kTable[i].bps);
        EXPECT_STREQ(r.text(), kTable[i].text);  // written back as it was read
        EXPECT_EQ(DataRate::at(i), r);
    }
}

TEST(DataRate, OtherTextsAreGivenButUnsupportedAndEmptyIsNone) {
    for (const char* bad : {" 9600", "9600 ", "09600", "9600.0", "96000", "0", "-9600", "abc",
                            "230400", "115200bps"}) {
        const DataRate r = DataRate::parse(bad);
        SCOPED_TRACE(bad);
        EXPECT_TRUE(r.given());
        EXPECT_FALSE(r.supported());
        EXPECT_EQ(r.index(), -1);
        EXPECT_EQ(r.bps(), 0u);  // no port takes it
        EXPECT_STREQ(r.text(), "");
        EXPECT_EQ(r, DataRate::at(-1));
        EXPECT_EQ(r, DataRate::at(DataRate::kCount));
    }
    const DataRate none = DataRate::parse("");
    EXPECT_EQ(none, DataRate());
    EXPECT_FALSE(none.given());
    EXPECT_FALSE(none.supported());
    EXPECT_EQ(none.bps(), 0u);
    EXPECT_NE(none, DataRate::parse("abc"));
}

}  // namespace
}  // namespace ostrand
