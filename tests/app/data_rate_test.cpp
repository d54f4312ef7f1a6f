#include "app/data_rate.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace ostrand {
namespace {

// The rates in column order parse to their number and are written back as read;
// any other text is given but unsupported, and empty is none.
TEST(DataRate, TextsNumbersAndColumns) {
    std::istringstream rates("2400 4800 9600 19200 31250 38400 57600 62500 76800 115200 128000");
    int32_t i = 0;
    for (std::string text; rates >> text; ++i) {
        SCOPED_TRACE(text);
        const DataRate r = DataRate::parse(text);
        EXPECT_TRUE(r.supported());
        EXPECT_EQ(r.index(), i);
        EXPECT_EQ(r.bps(), std::stoul(text));
        EXPECT_EQ(r.text(), text);
        EXPECT_EQ(DataRate::at(i), r);
    }
    EXPECT_EQ(i, DataRate::kCount);
    for (const char* bad : {" 9600", "9600 ", "09600", "9600.0", "96000", "0", "-9600", "abc",
                            "230400", "115200bps"}) {
        SCOPED_TRACE(bad);
        const DataRate r = DataRate::parse(bad);
        EXPECT_TRUE(r.given());
        EXPECT_FALSE(r.supported());
        EXPECT_EQ(r.index(), -1);
        EXPECT_EQ(r.bps(), 0u);  // no port takes it
        EXPECT_STREQ(r.text(), "");
        EXPECT_EQ(r, DataRate::at(DataRate::kCount));
    }
    const DataRate none = DataRate::parse("");
    EXPECT_EQ(none, DataRate());
    EXPECT_FALSE(none.given());
    EXPECT_NE(none, DataRate::parse("abc"));
}

}  // namespace
}  // namespace ostrand
