// The plugin under many calling threads at once, as a host's connection threads call it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "PluginDriver.h"

namespace nelvo::cryptoplugin::test {
namespace {

constexpr int kThreads = 12;
constexpr int kRounds = 150;

// One round of a host's life with an instance: create it, read its error, use it, release it.
// Every name carries the thread and round, so a reply that went to the wrong caller shows.
void Round(int thread, int round, std::vector<std::string>& ids) {
    const std::string property = "P" + std::to_string(thread) + "_" + std::to_string(round);
    const Reply created = Send("", "VUDuded", "GetProperty", {property});
    ASSERT_EQ(created.plugin, "VUDuded");
    ids.push_back(created.id);

    const ErrorState error = ReadError("VUDuded", created.id);
    ASSERT_EQ(error.code, "1004");
    ASSERT_NE(error.text.find("\"" + property + "\""), std::string::npos) << error.text;

    const std::string method = "M" + std::string(static_cast<std::size_t>(thread), 'x');
    const Reply routed = Send(created.id, "VUDuded", method);
    ASSERT_EQ(routed.method, method);
    ASSERT_EQ(routed.id, created.id);

    ASSERT_EQ(Send(created.id, "VUDuded", "Release").id, "");
    ASSERT_EQ(Send("", "VUDuded", "GetProperty", {"Version"}).result, NELVO_EXPECTED_VERSION);
}

TEST(CryptoPluginThreads, ConcurrentCommandsNeverMix) {
    std::vector<std::vector<std::string>> ids(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &ids] {
            for (int r = 0; r < kRounds && !::testing::Test::HasFatalFailure(); ++r) {
                Round(t, r, ids[static_cast<std::size_t>(t)]);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    std::set<std::string> unique;
    for (const auto& list : ids) unique.insert(list.begin(), list.end());
    EXPECT_EQ(unique.size(), static_cast<std::size_t>(kThreads * kRounds))
        << "an ID handed out twice";
}

TEST(CryptoPluginThreads, CallsOnOneInstanceAreSerialised) {
    const std::string id = Send("", "VUDuded", "GetProperty", {"Shared"}).id;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &id] {
            for (int r = 0; r < kRounds; ++r) {
                // Failing and succeeding calls rewrite the error state while others read it.
                const Reply reply = t % 2 == 0 ? Send(id, "VUDuded", "GetProperty", {"Shared"})
                                               : Send(id, "VUDuded", "GetProperty", {"Version"});
                EXPECT_EQ(reply.id, id);
                const std::string code =
                    Send(id, "VUDuded", "GetProperty", {"LastErrorCode"}).result;
                EXPECT_TRUE(code == "0" || code == "1004") << code;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    Send(id, "VUDuded", "Release");
}

TEST(CryptoPluginThreads, ShutdownWhileCommandsRunIsSafe) {
    std::atomic<bool> stop = false;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&stop] {
            while (!stop) {
                const Reply created = Send("", "VUDuded", "GetProperty", {"Gone"});
                // The instance may vanish under a shutdown at any moment: the call must still
                // be answered, with the instance or with a new one that reports it unknown.
                const Reply used = Send(created.id, "VUDuded", "GetProperty", {"Version"});
                EXPECT_FALSE(used.id.empty());
                Send(used.id, "VUDuded", "Release");
            }
        });
    }
    for (int i = 0; i < 50; ++i) {
        Plugin().shutdown();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stop = true;
    for (std::thread& thread : threads) thread.join();
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
