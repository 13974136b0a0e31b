// The program's life from outside: a second start, the ways to end it, and what it leaves
// behind (nothing in the temporary folder, the CA export untouched by a running program).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "support/E2eFiles.h"
#include "support/E2eHost.h"
#include "support/E2eLog.h"
#include "support/E2eNet.h"
#include "support/E2eTls.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const char kAnotherInstance[] = "Another instance is running! Exiting...";

std::vector<std::string> TlsFolders(const Sandbox& box) {
    std::vector<std::string> folders;
    for (const auto& name : ListDir(box.Tmp()))
        if (name.rfind("nelvo-tls-", 0) == 0) folders.push_back(box.Tmp() + "/" + name);
    return folders;
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// After an orderly end: the log closes the sequence, and the temporary folder is empty.
void ExpectOrderlyEnd(RunningHost& host) {
    const auto records = ReadLogRecords(host.Box().LogDir());
    const int stopping = FindMessage(records, "Stopping HTTP/HTTPS server...");
    const int stopped = FindMessage(records, "HTTP/HTTPS server stopped!", stopping);
    const int cleared = FindMessage(records, "Temporary files cleared!", stopped);
    EXPECT_GE(stopping, 0);
    EXPECT_GT(stopped, stopping);
    EXPECT_GT(cleared, stopped) << "temporary files are cleared after the listeners stop";
    EXPECT_EQ(ListDir(host.Box().Tmp()), std::vector<std::string>{}) << "left in TMPDIR";
}

struct SecondStart {
    const char* name;
    std::vector<std::string> args;
    bool endsFirst;
};

void PrintTo(const SecondStart& c, std::ostream* out) {
    *out << c.name;
}

class SecondStartTest : public ::testing::TestWithParam<SecondStart> {};

TEST_P(SecondStartTest, HandsOverItsParametersAndEnds) {
    RunningHost host;
    const int before = CountMessages(ReadLogRecords(host.Box().LogDir()), kAnotherInstance);
    const auto second = host.Box().Run(GetParam().args);
    EXPECT_EQ(second.code, 0) << second.output;
    EXPECT_EQ(CountMessages(ReadLogRecords(host.Box().LogDir()), kAnotherInstance), before + 1);
    if (GetParam().endsFirst) {
        EXPECT_EQ(host.Process().WaitExit(Scaled(10s)), 0) << host.Describe();
        ExpectOrderlyEnd(host);
    } else {
        // The running instance looks at handed-over parameters every 500 ms.
        std::this_thread::sleep_for(1500ms);
        EXPECT_TRUE(host.Process().Running());
        EXPECT_TRUE(host.Answers());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, SecondStartTest,
    ::testing::Values(SecondStart{"NoParameters", {}, false},
                      SecondStart{"HeadlessNoParameters", {"--headless"}, false},
                      SecondStart{"UpperCaseExit", {"EXIT"}, false},
                      SecondStart{"ExitNotFirst", {"other", "exit"}, false},
                      SecondStart{"Exit", {"exit"}, true},
                      SecondStart{"HeadlessExit", {"--headless", "exit"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Lifecycle, StopRouteEndsTheProgramOnlyForATrustedPage) {
    RunningHost host;
    const auto refused = ParseReply(
        Exchange(host.HttpPort(),
                 Request("POST", "/sapi/v1/stop", {"Origin: https://evil.example"}), Scaled(5s))
            .bytes);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(host.Process().Running());
    ASSERT_TRUE(host.Answers());

    const auto stopped = ParseReply(
        Exchange(host.HttpPort(),
                 Request("POST", "/sapi/v1/stop", {std::string("Origin: ") + kTrustedOrigin}),
                 Scaled(5s))
            .bytes);
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->status, 200);
    EXPECT_EQ(stopped->body, "");
    EXPECT_EQ(stopped->Header("Content-length"), "0");
    EXPECT_EQ(host.Process().WaitExit(Scaled(10s)), 0) << host.Describe();
    ExpectOrderlyEnd(host);
}

class SignalTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalTest, EndsTheProgramInOrder) {
    RunningHost host;
    host.Process().Signal(GetParam());
    EXPECT_EQ(host.Process().WaitExit(Scaled(10s)), 0) << host.Describe();
    ExpectOrderlyEnd(host);
}

INSTANTIATE_TEST_SUITE_P(Lifecycle, SignalTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) {
                             return info.param == SIGTERM ? "SIGTERM" : "SIGINT";
                         });

// Program end with a connection that has not sent its request yet: the end waits for that
// connection's thread (it must not run on into a host that is gone) and completes as soon as the
// peer goes away.
TEST(Lifecycle, ProgramEndWithAnIdleConnectionEndsCleanly) {
    RunningHost host;
    Fd idle = ConnectLoopback(host.HttpPort(), 5s);
    ASSERT_TRUE(idle.Valid());
    std::this_thread::sleep_for(300ms);  // accepted and waiting for its request line
    host.Process().Signal(SIGTERM);
    std::this_thread::sleep_for(1s);
    const bool waited = host.Process().Running();
    idle.Reset();
    EXPECT_EQ(host.Process().WaitExit(Scaled(5s)), 0) << host.Describe();
    if (waited) {
        EXPECT_GE(
            FindMessage(ReadLogRecords(host.Box().LogDir()), "Server threads cleanup: 1 threads."),
            0)
            << "the end waited for a connection thread it did not log";
    }
    ExpectOrderlyEnd(host);
}

TEST(Lifecycle, TlsTemporaryFilesArePrivateComeBackWhenDeletedAndGoAtTheEnd) {
    RunningHost host;
    const auto folders = TlsFolders(host.Box());
    ASSERT_EQ(folders.size(), 1u) << ::testing::PrintToString(ListDir(host.Box().Tmp()));
    EXPECT_EQ(Mode(folders[0]), 0700u);
    const std::regex tempName(R"(TMP\d{5}\.tmp)");
    const auto files = ListDir(folders[0]);
    ASSERT_EQ(files.size(), 3u) << ::testing::PrintToString(files);
    for (const auto& name : files) {
        EXPECT_TRUE(std::regex_match(name, tempName)) << name;
        EXPECT_EQ(Mode(folders[0] + "/" + name), 0600u) << name;
    }

    // Someone's clean-up removes them while the program runs: the next HTTPS client is served
    // from a new set.
    const int prepared = CountMessages(ReadLogRecords(host.Box().LogDir()), "SSL data prepared!");
    for (const auto& name : files) fs::remove(folders[0] + "/" + name);
    const TlsReply tls = TlsExchange(host.HttpsPort(), host.Box().CaFile(),
                                     TrustedGet("/api/v1/version"), Scaled(10s));
    ASSERT_TRUE(tls.handshake) << tls.error << "\n" << host.Describe();
    auto reply = ParseReply(tls.bytes);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_EQ(CountMessages(ReadLogRecords(host.Box().LogDir()), "SSL data prepared!"),
              prepared + 1);
    size_t present = 0;
    for (const auto& folder : TlsFolders(host.Box())) present += ListDir(folder).size();
    EXPECT_EQ(present, 3u);

    EXPECT_EQ(host.Process().Terminate(), 0) << host.Describe();
    ExpectOrderlyEnd(host);
}

TEST(Lifecycle, CaExportLeavesTheRunningProgramAlone) {
    RunningHost host;
    const std::string again = host.Box().Root() + "/again.pem";
    const auto run = host.Box().Run({"--export-ca", again});
    EXPECT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(ReadFile(again), ReadFile(host.Box().CaFile())) << "the same CA, not a new one";
    EXPECT_TRUE(host.Process().Running());
    EXPECT_TRUE(host.Answers());
}

TEST(Lifecycle, CaExportThatCannotWriteFailsWithAMessage) {
    Sandbox box;
    for (const std::string& target : {box.Root() + "/missing/ca.pem", box.Root()}) {
        SCOPED_TRACE(target);
        const auto run = box.Run({"--export-ca", target});
        EXPECT_NE(run.code, 0);
        EXPECT_NE(run.output, "") << "a failure must say why";
    }
}

TEST(Lifecycle, NoLogSectionWritesNoLogAnywhere) {
    RunningHost::Options options;
    options.log = false;
    RunningHost host(options);
    EXPECT_EQ(host.Process().Terminate(), 0) << host.Describe();
    EXPECT_FALSE(fs::exists(host.Box().LogDir()));
    EXPECT_EQ(ListDir(host.Box().Tmp()), std::vector<std::string>{})
        << "no error file, no leftovers";
}

}  // namespace
}  // namespace e2e
