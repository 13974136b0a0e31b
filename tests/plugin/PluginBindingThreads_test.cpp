// The binding under threads: calls run side by side, an unload waits for the calls inside the
// plugin (an unmapped library under a running call is a crash), a steady stream of calls cannot
// hold an unload off for ever, and loads and unloads under traffic never tear a call apart.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "plugin/PluginTestSupport.h"
#include "plugin/U_PluginBinding.h"

namespace nelvo::test {
namespace {

using namespace std::chrono_literals;
using Kind = TScriptCallKind;

// A one-way signal between threads.
class Latch {
public:
    void Open() {
        std::lock_guard guard(lock_);
        open_ = true;
        changed_.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, timeout, [this] { return open_; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool open_ = false;
};

// What the observer saw, kept in the test: it must survive the library.
class CallRecord {
public:
    void Add(const TScriptCall& call) {
        std::lock_guard guard(lock_);
        calls_.push_back({call.kind, call.phase});
    }
    std::vector<std::pair<Kind, int>> Calls() const {
        std::lock_guard guard(lock_);
        return calls_;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::pair<Kind, int>> calls_;
};

class BindingThreadsTest : public ::testing::Test {
protected:
    ScopedLogLines log;
    ScopedSearchPaths paths{{PluginFolder("scripted")}};
    TPluginBinding binding;

    void SetUp() override { ASSERT_TRUE(binding.LoadPlugin()); }
    void TearDown() override { ReleasePluginLibrary(); }
    IScriptControl& Script() { return *LoadedScript(); }
};

TEST_F(BindingThreadsTest, AnUnloadWaitsForTheCallInsideThePlugin) {
    Latch entered, release;
    CallRecord record;
    Script().SetObserver([&record](const TScriptCall& call) { record.Add(call); });
    Script().SetResponder([&](const std::string&) {
        entered.Open();
        release.WaitFor(10s);
        return TScriptStep{.reply = "slow reply"};
    });

    auto call = std::async(std::launch::async, [this] {
        std::string reply;
        const bool ok = binding.ProcessCommand("{}", reply, false);
        return ok ? reply : std::string("failed");
    });
    ASSERT_TRUE(entered.WaitFor(10s));
    auto unload = std::async(std::launch::async, [this] { return binding.UnloadPlugin(); });

    EXPECT_EQ(unload.wait_for(200ms), std::future_status::timeout)
        << "the unload must not pass a call that is inside the plugin";
    EXPECT_TRUE(binding.IsPluginLoaded()) << "status queries do not wait";
    release.Open();

    EXPECT_EQ(call.get(), "slow reply");
    EXPECT_TRUE(unload.get());
    EXPECT_EQ(record.Calls(),
              (std::vector<std::pair<Kind, int>>{
                  {Kind::ExecuteEx, 1}, {Kind::ExecuteEx, 2}, {Kind::Shutdown, 0}}));
    EXPECT_FALSE(binding.IsPluginLoaded());
}

TEST_F(BindingThreadsTest, CallsFromDifferentThreadsOverlapInsideThePlugin) {
    std::atomic<int> inside{0};
    Latch both;
    std::atomic<bool> overlapped{false};
    Script().SetResponder([&](const std::string&) {
        if (++inside == 2) both.Open();
        overlapped = both.WaitFor(10s) || overlapped;
        return TScriptStep();
    });
    auto first = std::async(std::launch::async, [this] {
        std::string reply;
        return binding.ProcessCommand("{}", reply, false);
    });
    std::string reply;
    EXPECT_TRUE(binding.ProcessCommand("{}", reply, false));
    EXPECT_TRUE(first.get());
    EXPECT_TRUE(overlapped) << "a second call waited for the first: calls were serialised";
}

// Each thread sends commands back to back; together they keep the plugin busy without a pause.
class Traffic {
public:
    Traffic(TPluginBinding& binding, int threads) {
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this, &binding](std::stop_token stop) {
                while (!stop.stop_requested()) {
                    std::string reply;
                    if (binding.ProcessCommand(R"({"ID":"T","Plugin":"P","Method":"M"})", reply,
                                               false))
                        reply == R"({"ID":"T","Plugin":"P","Method":"M","Result":""})" ? ++passed_
                                                                                       : ++torn_;
                    else
                        ++refused_;
                }
            });
    }
    void Stop() {
        for (auto& thread : threads_) thread.request_stop();
        threads_.clear();
    }
    int Passed() const { return passed_; }
    int Refused() const { return refused_; }
    int Torn() const { return torn_; }

private:
    std::atomic<int> passed_{0}, refused_{0}, torn_{0};
    std::vector<std::jthread> threads_;
};

TEST_F(BindingThreadsTest, OverlappingCallsCannotHoldAnUnloadOff) {
    Script().SetResponder([](const std::string&) { return TScriptStep{.delayMs = 5}; });
    Traffic traffic(binding, 3);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (traffic.Passed() < 6 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);

    auto unload = std::async(std::launch::async, [this] { return binding.UnloadPlugin(); });
    const auto status = unload.wait_for(20s);
    traffic.Stop();
    ASSERT_EQ(status, std::future_status::ready) << "the unload starved behind the calls";
    EXPECT_TRUE(unload.get());
    EXPECT_EQ(traffic.Torn(), 0);
}

TEST_F(BindingThreadsTest, ReloadsUnderTrafficNeverTearACall) {
    Traffic traffic(binding, 3);
    for (int round = 0; round < 15; ++round) {
        std::this_thread::sleep_for(2ms);
        EXPECT_TRUE(binding.UnloadPlugin());
        std::this_thread::sleep_for(2ms);
        EXPECT_TRUE(binding.LoadPlugin());
    }
    traffic.Stop();
    EXPECT_EQ(traffic.Torn(), 0);
    EXPECT_GT(traffic.Passed(), 0);
    EXPECT_GT(traffic.Refused(), 0) << "no command arrived while the plugin was unloaded";
    for (const LogLine& line : log.Lines()) {
        if (line.error) {
            EXPECT_EQ(line.message, "No executor! Library not loaded?");
        }
    }
}

}  // namespace
}  // namespace nelvo::test
