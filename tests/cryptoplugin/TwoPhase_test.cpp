// The two-phase exchange of WS_ExecuteEx and the other entry points, seen from a host.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "PluginDriver.h"

namespace nelvo::cryptoplugin::test {
namespace {

constexpr std::int32_t kBadArgument = -1;
constexpr std::int32_t kBadPhase = -2;
constexpr std::int32_t kNoReply = -3;
constexpr std::int32_t kSizeMismatch = -4;
constexpr std::int32_t kBadCommand = -5;

const std::string& VersionCommand() {
    static const std::string command = CommandText("", kVersionClass, "GetProperty", {"Version"});
    return command;
}

std::int32_t ExecuteEx(const char* command, std::int32_t length, char* buffer, std::int32_t* size,
                       std::int32_t phase) {
    return Plugin().executeEx(command, length, buffer, size, phase);
}

TEST(CryptoPluginTwoPhase, ReplySizeCountsNoTerminatorAndPhaseTwoWritesExactlyThatMany) {
    const Prepared prepared = Prepare(VersionCommand());
    ASSERT_EQ(prepared.status, 0);
    ASSERT_GT(prepared.size, 0);

    std::string buffer(static_cast<std::size_t>(prepared.size) + 8, '#');
    ASSERT_EQ(Deliver(buffer.data(), prepared.size), 0);

    EXPECT_EQ(buffer.substr(static_cast<std::size_t>(prepared.size)), std::string(8, '#'));
    const auto reply = nlohmann::json::parse(buffer.substr(0, prepared.size));
    EXPECT_EQ(reply.at("Result"), NELVO_EXPECTED_VERSION);
}

TEST(CryptoPluginTwoPhase, PhaseTwoWithAnotherSizeFailsAndLeavesTheReplyToFetch) {
    const Prepared prepared = Prepare(VersionCommand());
    ASSERT_EQ(prepared.status, 0);
    std::string buffer(static_cast<std::size_t>(prepared.size) + 1, '#');

    for (const std::int32_t size : {prepared.size - 1, prepared.size + 1, 0, -1}) {
        EXPECT_EQ(Deliver(buffer.data(), size), kSizeMismatch) << "size " << size;
    }
    EXPECT_EQ(buffer, std::string(buffer.size(), '#')) << "a refused phase 2 wrote";

    EXPECT_EQ(Deliver(buffer.data(), prepared.size), 0);
    EXPECT_EQ(buffer[0], '{');
}

TEST(CryptoPluginTwoPhase, PhaseTwoDeliversOnceAndOnlyAfterPhaseOne) {
    std::thread([] {
        char buffer[16];
        EXPECT_EQ(Deliver(buffer, sizeof buffer), kNoReply) << "fresh thread";
    }).join();

    const Prepared prepared = Prepare(VersionCommand());
    std::string buffer(static_cast<std::size_t>(prepared.size), '\0');
    EXPECT_EQ(Deliver(buffer.data(), prepared.size), 0);
    EXPECT_EQ(Deliver(buffer.data(), prepared.size), kNoReply) << "second delivery";
}

TEST(CryptoPluginTwoPhase, FailedPhaseOneDropsTheEarlierReply) {
    const Prepared first = Prepare(VersionCommand());
    ASSERT_EQ(first.status, 0);

    const Prepared second = Prepare("not a command");
    EXPECT_EQ(second.status, kBadCommand);
    EXPECT_EQ(second.size, 0);

    std::string buffer(static_cast<std::size_t>(first.size), '\0');
    EXPECT_EQ(Deliver(buffer.data(), first.size), kNoReply);
}

TEST(CryptoPluginTwoPhase, BadArgumentsAreRefused) {
    // Twelve bytes with the terminator, and a zero inside: the length does not match the text.
    const char command[] = "{\"a\0b\":1}xx";
    const std::string& good = VersionCommand();
    const auto goodLength = static_cast<std::int32_t>(good.size() + 1);
    std::int32_t size = 0;
    char buffer[8];
    struct Case {
        const char* name;
        std::int32_t status;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"null command", ExecuteEx(nullptr, 1, nullptr, &size, 1), kBadArgument},
        {"zero length", ExecuteEx(good.c_str(), 0, nullptr, &size, 1), kBadArgument},
        {"negative length", ExecuteEx(good.c_str(), -5, nullptr, &size, 1), kBadArgument},
        {"length without the terminator",
         ExecuteEx(good.c_str(), goodLength - 1, nullptr, &size, 1), kBadArgument},
        {"zero inside the text", ExecuteEx(command, sizeof command, nullptr, &size, 1),
         kBadArgument},
        {"null size in phase 1", ExecuteEx(good.c_str(), goodLength, nullptr, nullptr, 1),
         kBadArgument},
        {"phase 0", ExecuteEx(good.c_str(), goodLength, nullptr, &size, 0), kBadPhase},
        {"phase 3", ExecuteEx(good.c_str(), goodLength, nullptr, &size, 3), kBadPhase},
        {"phase -1", ExecuteEx(good.c_str(), goodLength, nullptr, &size, -1), kBadPhase},
        {"null size in phase 2", ExecuteEx(good.c_str(), goodLength, buffer, nullptr, 2),
         kBadArgument},
    };
    for (const Case& c : cases) EXPECT_EQ(c.status, c.expected) << c.name;

    const Prepared prepared = Prepare(good);
    ASSERT_EQ(prepared.status, 0);
    EXPECT_EQ(Deliver(nullptr, prepared.size), kBadArgument) << "null buffer in phase 2";
}

TEST(CryptoPluginTwoPhase, EmptyCommandTextIsRefusedNotExecuted) {
    // A host passes an empty command as a pointer to an empty string with length 1.
    std::int32_t size = 7;
    EXPECT_EQ(ExecuteEx("", 1, nullptr, &size, 1), kBadCommand);
    EXPECT_EQ(size, 0);
}

TEST(CryptoPluginTwoPhase, PreparedRepliesBelongToTheirThread) {
    const Prepared mine = Prepare(VersionCommand());
    ASSERT_EQ(mine.status, 0);

    std::thread([] {
        char buffer[256];
        EXPECT_EQ(Deliver(buffer, sizeof buffer), kNoReply) << "another thread's reply";
        const std::string other = CommandText("", "NoSuchObject", "Anything");
        const std::optional<std::string> reply = Exchange(other);
        ASSERT_TRUE(reply);
        EXPECT_EQ(nlohmann::json::parse(*reply).at("Plugin"), "NoSuchObject");
    }).join();

    std::string buffer(static_cast<std::size_t>(mine.size), '\0');
    ASSERT_EQ(Deliver(buffer.data(), mine.size), 0);
    EXPECT_EQ(nlohmann::json::parse(buffer).at("Result"), NELVO_EXPECTED_VERSION);
}

TEST(CryptoPluginExports, ExecuteIsBoundButRefusesAndInitializeMayRepeat) {
    EXPECT_LT(Plugin().execute(), 0);
    Plugin().initialize();
    Plugin().initialize();
    EXPECT_EQ(Send("", kVersionClass, "GetProperty", {"Version"}).result, NELVO_EXPECTED_VERSION);
}

}  // namespace
}  // namespace nelvo::cryptoplugin::test
