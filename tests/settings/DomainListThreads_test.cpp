// The trusted-domain list under connection threads: look-ups while the settings page replaces
// the text and confirmations add domains, and look-ups while a user is still being asked.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <thread>

#include "settings/SettingsTestSupport.h"
#include "settings/U_Settings.h"

namespace nelvo {
namespace {

using namespace std::chrono_literals;

TEST(DomainListThreadsTest, LookupsStayConsistentWhileTheListChanges) {
    test::ScopedLogCapture log;
    TDomainListPlus list;
    list.SetText("a.example;b.example");
    std::atomic<int> newDomains{0};
    list.SetOnConfirmDomain([](const std::string&, const std::string&) {
        std::this_thread::yield();
        return true;
    });
    list.SetOnNewDomain([&] { ++newDomains; });

    constexpr int kRounds = 300;
    std::atomic<int> wrongAnswers{0};
    {
        std::vector<std::jthread> threads;
        for (int reader = 0; reader < 4; ++reader)
            threads.emplace_back([&] {
                for (int i = 0; i < kRounds; ++i) {
                    // "a.example" is in every text the writer sets.
                    if (!list.IsTrusted("https://a.example", "https://a.example/p")) ++wrongAnswers;
                    if (list.AllowOrigin("https://A.example") != "https://A.example")
                        ++wrongAnswers;
                    if (list.IsKnown("https://unknown.invalid")) ++wrongAnswers;
                    if (list.Origins()[0] != ServiceHostName) ++wrongAnswers;
                    if (list.Text().empty()) ++wrongAnswers;
                }
            });
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i)
                list.SetText(i % 2 ? "a.example;b.example" : "c.example;a.example:8443");
        });
        for (int confirmer = 0; confirmer < 2; ++confirmer)
            threads.emplace_back([&, confirmer] {
                for (int i = 0; i < kRounds / 10; ++i) {
                    const std::string origin = "https://new" + std::to_string(confirmer) + "-" +
                                               std::to_string(i) + ".example";
                    list.IsTrusted(origin, "");
                }
            });
    }
    EXPECT_EQ(wrongAnswers, 0);
    EXPECT_EQ(newDomains, 2 * (kRounds / 10));
    EXPECT_TRUE(list.IsKnown("https://a.example"));
}

TEST(DomainListThreadsTest, OtherConnectionsAreServedWhileAUserIsAsked) {
    test::ScopedLogCapture log;
    TDomainListPlus list;
    list.SetText("a.example");
    std::promise<void> asked;
    std::promise<bool> answer;
    std::shared_future<bool> answerReady = answer.get_future().share();
    list.SetOnConfirmDomain([&](const std::string&, const std::string&) {
        asked.set_value();
        return answerReady.get();
    });

    auto confirming =
        std::async(std::launch::async, [&] { return list.IsTrusted("https://new.example", ""); });
    asked.get_future().wait();
    // With the list locked during the question these would wait for the user.
    auto reading = std::async(std::launch::async, [&] {
        return list.IsTrusted("https://a.example", "") &&
               list.AllowOrigin("https://a.example") == "https://a.example";
    });
    ASSERT_EQ(reading.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(reading.get());

    answer.set_value(true);
    EXPECT_TRUE(confirming.get());
    EXPECT_TRUE(list.IsKnown("https://new.example"));
}

TEST(DomainListThreadsTest, ADomainConfirmedOnTwoConnectionsAtOnceIsAddedOnce) {
    test::ScopedLogCapture log;
    TDomainListPlus list;
    list.SetText("a.example");
    std::latch bothAsked(2);
    std::atomic<int> newDomains{0};
    list.SetOnConfirmDomain([&](const std::string&, const std::string&) {
        bothAsked.arrive_and_wait();
        return true;
    });
    list.SetOnNewDomain([&] { ++newDomains; });

    auto first =
        std::async(std::launch::async, [&] { return list.IsTrusted("https://new.example", ""); });
    auto second =
        std::async(std::launch::async, [&] { return list.IsTrusted("https://new.example", ""); });
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(second.get());
    EXPECT_EQ(list.Text(), "a.example;new.example");
    EXPECT_EQ(newDomains, 1);
}

}  // namespace
}  // namespace nelvo
