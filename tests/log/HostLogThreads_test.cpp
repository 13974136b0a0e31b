// Records written from many threads at once stay whole: every record can be read back by its
// length fields, none is lost, and each thread's records keep their order.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "log/LogTestSupport.h"
#include "log/U_LogFile.h"
#include "support/TempDir.h"

namespace nelvo::test {
namespace {

constexpr int kThreads = 8;
constexpr int kRecords = 150;

std::string Detail(int thread, int record) {
    return "thread " + std::to_string(thread) + "\r\nrecord " + std::to_string(record);
}

TEST(HostLogThreads, RecordsNeverInterleave) {
    TempDir dir;
    FixedClock clock{At(2024, 3, 9, 10, 0, 0)};
    const std::string ini = dir / "NelvoPlugin.ini";
    WriteFile(ini, "[Log]\r\nFileName=" + dir / "threads.log" + "\r\n");
    SetHostLoger(std::make_unique<TTestHostLoger>(ini));

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int r = 0; r < kRecords; ++r) {
                const std::string id = std::to_string(t) + "/" + std::to_string(r);
                HostLoger->Log(nullptr, id, llDetail, Detail(t, r));
                HostLoger->TraceStart(nullptr, id, {"t", "r"}, {t, r});
            }
        });
    for (auto& thread : threads) thread.join();
    const std::string bytes = ReadFile(dir / "threads.log");
    FreeHostLoger();
    SetHostLoger(nullptr);

    const ParsedLog log = ParseLog(bytes);
    ASSERT_TRUE(log.ok) << log.error;
    ASSERT_EQ(log.records.size(), static_cast<std::size_t>(kThreads * kRecords * 2));

    // Per thread id in the head and per kind of record: the next record number expected.
    std::map<std::pair<std::string, bool>, int> next;
    std::set<std::pair<std::string, bool>> seen;
    for (const ParsedRecord& record : log.records) {
        const bool isStart = record.head.find("[DataID: StartExecFunction ") != std::string::npos;
        std::string id;
        if (isStart) {
            const std::size_t at = record.head.find("StartExecFunction ") + 18;
            id = record.head.substr(at, record.head.find(']', at) - at);
        } else {
            const std::size_t at = record.body.find("Value: ") + 7;
            id = record.body.substr(at, record.body.find("\r\n") - at);
        }
        const std::string t = id.substr(0, id.find('/'));
        const int r = std::stoi(id.substr(id.find('/') + 1));
        ASSERT_TRUE(seen.insert({id, isStart}).second) << id;

        const std::string thread = record.head.substr(record.head.find("[ThreadID: "), 20);
        int& expected = next[{thread, isStart}];
        EXPECT_EQ(expected, r) << "order within " << thread;
        expected = r + 1;

        const std::string body =
            isStart ? " t: " + t + "\r\n r: " + std::to_string(r) + "\r\n"
                    : " thread " + t + "\r\n record " + std::to_string(r) + ": \r\n";
        EXPECT_NE(record.body.find(body), std::string::npos) << record.body;
    }
    EXPECT_EQ(next.size(), static_cast<std::size_t>(kThreads * 2));
}

}  // namespace
}  // namespace nelvo::test
