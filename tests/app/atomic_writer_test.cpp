// The leftovers of writers killed before their commit.
#include <gtest/gtest.h>

#include "app/file_io.h"
#include "test_folder.h"

using namespace ostrand;

namespace {

TEST(AtomicWriter, NextWriterRemovesTheLeftoversOfKilledOnes) {
    TestFolder dir;
    // A writer killed before its commit left this behind; nobody holds it.
    const auto leftover = dir.write(".saved.h16.ostrand-partial-0badf00d", ":1000");
    // Files that merely look alike are not the writer's.
    const auto lookalike = dir.write(".saved.h16.ostrand-partial-notahex", "x");
    const auto plain = dir.write("saved.h16.ostrand-partial-0badf00d", "x");

    AtomicFileWriter busy;
    ASSERT_TRUE(busy.open(dir.path() / "other.h16"));
    ASSERT_TRUE(busy.write("still being written"));
    const auto busyTemp = busy.temporaryPath();
    EXPECT_NE(busyTemp.filename().string().find(".ostrand-partial-"), std::string::npos);

    AtomicFileWriter next;
    ASSERT_TRUE(next.open(dir.path() / "saved.h16"));
    EXPECT_FALSE(std::filesystem::exists(leftover));
    EXPECT_TRUE(std::filesystem::exists(lookalike));
    EXPECT_TRUE(std::filesystem::exists(plain));
    EXPECT_TRUE(std::filesystem::exists(busyTemp));  // its writer is alive
    ASSERT_TRUE(next.write("new") && next.commit());
    ASSERT_TRUE(busy.commit());
    EXPECT_EQ(dir.read("other.h16"), "still being written");
    EXPECT_EQ(dir.read("saved.h16"), "new");
    EXPECT_EQ(removeAbandonedPartials(dir.path()), 0);
}

TEST(AtomicWriter, WritesTheLongestNameTheFileSystemTakes) {
    TestFolder dir;
    const std::string name(255, 's');
    dir.write(name, "old");
    AtomicFileWriter w;
    ASSERT_TRUE(w.open(dir.path() / name));
    EXPECT_EQ(w.temporaryPath().parent_path(), dir.path());
    ASSERT_TRUE(w.write("new") && w.commit());
    EXPECT_EQ(dir.read(name), "new");
    EXPECT_EQ(removeAbandonedPartials(dir.path()), 0);
}

}  // namespace
