// The log file as a support engineer reads it: mark, header block, then whole records from every
// thread, never torn; a later run starts a file of its own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "support/E2eFiles.h"
#include "support/E2eHost.h"
#include "support/E2eLog.h"
#include "support/E2eNet.h"
#include "support/E2eTls.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t eol = text.find("\r\n", pos);
        if (eol == std::string::npos) {
            lines.push_back(text.substr(pos) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(pos, eol - pos));
        pos = eol + 2;
    }
    return lines;
}

void ExpectHeader(const ParsedLog& log) {
    const auto lines = Lines(log.headerText);
    ASSERT_EQ(lines.size(), 8u) << log.headerText;
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    EXPECT_EQ(lines[0], "NelvoPluginTracer:");
    EXPECT_EQ(lines[1], "  LogType:      NelvoPluginTracer");
    EXPECT_EQ(lines[2], "  Full name:    " + fs::canonical(HostProgram()).string());
    EXPECT_EQ(lines[3], std::string("  Version:      ") + NELVO_EXPECTED_VERSION);
    EXPECT_TRUE(std::regex_match(lines[4],
                                 std::regex(R"(  Build time:   \d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d)")))
        << lines[4];
    EXPECT_TRUE(std::regex_match(lines[5], std::regex(R"(  ID:           \d+)"))) << lines[5];
    EXPECT_EQ(lines[6], std::string("  Host Name:    ") + host);
    EXPECT_TRUE(std::regex_match(lines[7], std::regex(R"(  OS Version:   \S.*)"))) << lines[7];
}

// Each message, in this order, somewhere after the previous one.
void ExpectInOrder(const std::vector<LogRecord>& records,
                   const std::vector<std::string>& messages) {
    int at = -1;
    for (const auto& message : messages) {
        const int next = FindMessage(records, message, at + 1);
        EXPECT_GT(next, at) << "\"" << message << "\" missing or out of order";
        if (next > at) at = next;
    }
}

TEST(LogFile, HeaderAndRecordsStayWholeUnderConcurrentRequests) {
    RunningHost host;
    std::vector<std::thread> clients;
    std::atomic<int> served{0};
    for (int t = 0; t < 8; ++t)
        clients.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const std::string request = TrustedGet("/api/v1/version");
                std::string bytes =
                    t % 2 == 0
                        ? Exchange(host.HttpPort(), request, Scaled(10s)).bytes
                        : TlsExchange(host.HttpsPort(), host.Box().CaFile(), request, Scaled(10s))
                              .bytes;
                auto reply = ParseReply(bytes);
                if (reply && reply->status == 200) ++served;
            }
        });
    for (auto& c : clients) c.join();
    EXPECT_EQ(served, 40);
    EXPECT_EQ(host.Process().Terminate(), 0) << host.Describe();

    ASSERT_EQ(ListDir(host.Box().LogDir()), std::vector<std::string>{"host.log"});
    const ParsedLog log = ParseLog(ReadFile(host.Box().LogFile()));
    EXPECT_EQ(log.error, "") << "the file must parse whole";
    ExpectHeader(log);
    ExpectInOrder(
        log.records,
        {"Starting HTTP/HTTPS server...", "Current settings", "Starting HTTPS server...",
         "Starting HTTP server...", "HTTP/HTTPS server started!", "Stopping HTTP/HTTPS server...",
         "Stopping HTTPS server...", "Stopping HTTP server...", "HTTP/HTTPS server stopped!",
         "Clearing temporary files...", "Temporary files cleared!"});

    const int settings = FindMessage(log.records, "Current settings");
    ASSERT_GE(settings, 0);
    const std::string& detail = log.records[static_cast<size_t>(settings)].body;
    EXPECT_NE(detail.find("HTTP Port: " + std::to_string(host.HttpPort())), std::string::npos)
        << detail;
    EXPECT_NE(detail.find("HTTPS Port: " + std::to_string(host.HttpsPort())), std::string::npos)
        << detail;

    EXPECT_GE(CountMessages(log.records, "Reply: Status = 200"), 40);
    std::set<std::string> threads;
    for (const auto& r : log.records) threads.insert(r.threadId);
    EXPECT_GT(threads.size(), 3u) << "connection threads log under their own ids";
}

TEST(LogFile, ASecondRunContinuesInANumberedFileAndLeavesTheFirstAlone) {
    RunningHost host;
    EXPECT_EQ(host.Process().Terminate(), 0) << host.Describe();
    const std::string first = ReadFile(host.Box().LogFile());
    ASSERT_NE(first, "");

    host.Start(host.HttpPort(), host.HttpsPort());
    EXPECT_EQ(host.Process().Terminate(), 0) << host.Describe();
    EXPECT_EQ(ReadFile(host.Box().LogFile()), first);
    ASSERT_EQ(ListDir(host.Box().LogDir()), (std::vector<std::string>{"host.log", "host_1.log"}));
    const ParsedLog second = ParseLog(ReadFile(host.Box().LogDir() + "/host_1.log"));
    EXPECT_EQ(second.error, "");
    ExpectHeader(second);
    EXPECT_GE(FindMessage(second.records, "HTTP/HTTPS server started!"), 0);
}

}  // namespace
}  // namespace e2e
