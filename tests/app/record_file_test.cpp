#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "app/file_io.h"
#include "test_folder.h"

using ostrand::appendLineExclusive;

// Two processes of four threads each append long lines to one file at once:
// every line arrives whole, none is lost.
TEST(RecordFile, LinesFromManyWritersStayWhole) {
    TestFolder dir;
    const auto file = dir.path() / "runs.jsonl";
    constexpr int kThreads = 4, kLines = 100;
    auto writeAll = [&](int process) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kLines; ++i) {
                    const std::string id =
                        std::to_string(process) + "." + std::to_string(t) + "." + std::to_string(i);
                    // Longer than a pipe's atomic write, so one write() is not enough.
                    EXPECT_TRUE(appendLineExclusive(file, id + ":" + std::string(6000, 'x') + id));
                }
            });
        for (auto& th : threads) th.join();
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writeAll(1);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    writeAll(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::ifstream in(file);
    std::set<std::string> ids;
    std::string line;
    while (std::getline(in, line)) {
        const std::string id = line.substr(0, line.find(':'));
        EXPECT_EQ(line, id + ":" + std::string(6000, 'x') + id);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 2u * kThreads * kLines);
    EXPECT_FALSE(appendLineExclusive(dir.path() / "no" / "such" / "file", "x"));
}
