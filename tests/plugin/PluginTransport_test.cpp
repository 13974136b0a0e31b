// The road from the command protocol to the host: without a host commands fail cleanly, and a
// host that goes away is never entered again once its registration is cleared.
#include "plugin/U_PluginTransport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "plugin/PluginTestSupport.h"

namespace nelvo::test {
namespace {

using namespace std::chrono_literals;

class TFakeTransport : public IPluginTransport {
public:
    bool ProcessCommand(const std::string& Command, std::string& Reply, bool LogData) override {
        ++calls;
        lastCommand = Command;
        lastLogData = LogData;
        if (hold.valid()) hold.wait();
        Reply = "reply to " + Command;
        return true;
    }
    std::atomic<int> calls{0};
    std::string lastCommand;
    bool lastLogData = false;
    std::shared_future<void> hold;  // when set, a call waits for it
};

class TransportTest : public ::testing::Test {
protected:
    ScopedLogLines log;
    TFakeTransport transport;
    void TearDown() override { SetPluginTransport(nullptr); }
};

TEST_F(TransportTest, WithoutATransportCommandsFailAsWithoutALibrary) {
    std::string reply = "stale";
    EXPECT_FALSE(ProcessPluginCommand("{}", reply, true));
    EXPECT_EQ(reply, "");
    EXPECT_EQ(log.Lines(),
              (std::vector<LogLine>{{"", true, "No executor! Library not loaded?", ""}}));
}

TEST_F(TransportTest, CommandsGoThroughTheRegisteredOneUntilItIsCleared) {
    SetPluginTransport(&transport);
    std::string reply;
    EXPECT_TRUE(ProcessPluginCommand("cmd", reply, false));
    EXPECT_EQ(reply, "reply to cmd");
    EXPECT_FALSE(transport.lastLogData);

    TFakeTransport other;
    ClearPluginTransport(&other);  // not the registered one: nothing changes
    EXPECT_TRUE(ProcessPluginCommand("again", reply, true));
    EXPECT_TRUE(transport.lastLogData);

    ClearPluginTransport(&transport);
    EXPECT_FALSE(ProcessPluginCommand("late", reply, true));
    EXPECT_EQ(transport.calls, 2);
}

TEST_F(TransportTest, ClearingWaitsForTheCallInside) {
    std::promise<void> release;
    transport.hold = release.get_future().share();
    SetPluginTransport(&transport);
    auto call = std::async(std::launch::async, [] {
        std::string reply;
        return ProcessPluginCommand("slow", reply, false);
    });
    while (transport.calls == 0) std::this_thread::sleep_for(1ms);

    auto clear = std::async(std::launch::async, [this] { ClearPluginTransport(&transport); });
    EXPECT_EQ(clear.wait_for(200ms), std::future_status::timeout)
        << "the transport could be destroyed under a running call";
    release.set_value();
    EXPECT_TRUE(call.get());
    clear.get();

    std::string reply;
    EXPECT_FALSE(ProcessPluginCommand("after", reply, false));
    EXPECT_EQ(transport.calls, 1);
}

}  // namespace
}  // namespace nelvo::test
