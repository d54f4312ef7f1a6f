#include "app/data_rate.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrand {
namespace {

// Each column's rate is written back as read and parses to its number and
// column; any other text is given but unsupported, and empty is none.
TEST(DataRate, TextsNumbersAndColumns) {
    for (int32_t i = 0; i < DataRate::kCount; ++i) {
        const DataRate r = DataRate::parse(DataRate::at(i).text());
        SCOPED_TRACE(r.text());
        EXPECT_TRUE(r.supported());
        EXPECT_EQ(r.index(), i);
        EXPECT_EQ(r.bps(), std::stoul(r.text()));
        EXPECT_EQ(r, DataRate::at(i));
    }
    for (const char* bad : {" 9600", "9600 ", "09600", "9600.0", "0", "-9600", "230400"}) {
        SCOPED_TRACE(bad);
        const DataRate r = DataRate::parse(bad);
        EXPECT_TRUE(r.given());
        EXPECT_FALSE(r.supported());
        EXPECT_EQ(r.index(), -1);
        EXPECT_EQ(r.bps(), 0u);  // no port takes it
        EXPECT_STREQ(r.text(), "");
    }
    const DataRate none = DataRate::parse("");
    EXPECT_EQ(none, DataRate());
    EXPECT_FALSE(none.given());
    EXPECT_NE(none, DataRate::parse("abc"));
}

}  // namespace
}  // namespace ostrand
