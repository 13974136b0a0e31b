// Ports as the program chooses, stores and publishes them: a busy port moves upward (never onto
// the other listener's port), only the moved port's section is written, and every trusted
// origin's Local Storage file receives the new port.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/E2eFiles.h"
#include "support/E2eHost.h"
#include "support/E2eLog.h"
#include "support/E2eNet.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const char kPortKey[] = "NelvoPluginHost_Port_ZRB";
const std::vector<std::string> kBuiltInDomains = {"www.zrb.example", "online.zrb.example",
                                                  "business.zrb.example", "dbo.zrb.example",
                                                  "sign.zrb.example"};

std::set<std::string> ExpectedLocalStorageFiles() {
    std::set<std::string> names;
    for (const auto& domain : kBuiltInDomains) {
        names.insert("https_" + domain + "_0.localstorage");
        names.insert("http_" + domain + "_0.localstorage");
    }
    return names;
}

// Every origin file holds the HTTPS port (written last of the pair), and the log shows the pair
// in order for each origin.
void ExpectPublished(RunningHost& host, int httpPort, int httpsPort) {
    const std::string dir = host.Box().LocalStorageDir();
    const auto names = ListDir(dir);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), ExpectedLocalStorageFiles());
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const auto rows = ReadLocalStorage(dir + "/" + name);
        ASSERT_EQ(rows.count(kPortKey), 1u);
        EXPECT_EQ(rows.at(kPortKey), Utf16Port(httpsPort));
    }
    const auto records = ReadLogRecords(host.Box().LogDir());
    for (const auto& domain : kBuiltInDomains)
        for (const std::string scheme : {"https://", "http://"}) {
            const std::string origin = scheme + domain + ":0";
            const int first =
                FindMessage(records, "Port " + std::to_string(httpPort) + " written for " + origin);
            EXPECT_GE(first, 0) << origin;
            EXPECT_GT(
                FindMessage(records, "Port " + std::to_string(httpsPort) + " written for " + origin,
                            first),
                first)
                << origin;
        }
}

struct BusyCase {
    const char* name;
    int http, https;            // configured, as offsets from a run of four free ports
    std::vector<int> busy;      // offsets held by another program
    int finalHttp, finalHttps;  // where the listeners must end up
};

void PrintTo(const BusyCase& c, std::ostream* out) {
    *out << c.name;
}

class MovedPortTest : public ::testing::TestWithParam<BusyCase> {};

TEST_P(MovedPortTest, MovesUpwardWritesOnlyItsSectionAndPublishes) {
    const BusyCase& c = GetParam();
    const int base = FreePortRun(4);
    std::vector<Fd> held;
    for (int offset : c.busy) held.push_back(OccupyPort(base + offset));

    RunningHost::Options options;
    options.localStorage = true;
    options.iniHttpPort = base + c.http;
    options.iniHttpsPort = base + c.https;
    RunningHost host(base + c.finalHttp, base + c.finalHttps, options);

    const IniFile ini(ReadFile(host.Box().IniPath()));
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"log", "server_http", "server_https"}))
        << "no section but the ports may be added";
    EXPECT_EQ(ini.Keys("Server_HTTP"), std::vector<std::string>{"port"});
    EXPECT_EQ(ini.Keys("Server_HTTPS"), std::vector<std::string>{"port"});
    EXPECT_EQ(ini.Value("Server_HTTP", "Port"), std::to_string(base + c.finalHttp));
    EXPECT_EQ(ini.Value("Server_HTTPS", "Port"), std::to_string(base + c.finalHttps));
    EXPECT_EQ(ini.Value("Log", "FileName"), host.Box().LogFile());

    const auto records = ReadLogRecords(host.Box().LogDir());
    const bool httpMoved = c.finalHttp != c.http;
    const bool httpsMoved = c.finalHttps != c.https;
    EXPECT_EQ(FindMessage(records, "HTTP port not available!") >= 0, httpMoved);
    EXPECT_EQ(FindMessage(records, "HTTPS port not available!") >= 0, httpsMoved);
    if (httpMoved) {
        EXPECT_GE(
            FindMessage(records, "Changed HTTP port to " + std::to_string(base + c.finalHttp)), 0);
    }
    if (httpsMoved) {
        EXPECT_GE(
            FindMessage(records, "Changed HTTPS port to " + std::to_string(base + c.finalHttps)),
            0);
    }
    ExpectPublished(host, base + c.finalHttp, base + c.finalHttps);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, MovedPortTest,
    ::testing::Values(
        // The search skips the other listener's port.
        BusyCase{"HttpBusy", 0, 1, {0}, 2, 1}, BusyCase{"HttpsBusy", 1, 0, {0}, 1, 2},
        // HTTP moves first, skipping the HTTPS port; HTTPS then skips HTTP's new port.
        BusyCase{"BothBusy", 0, 1, {0, 1}, 2, 3}, BusyCase{"NeitherBusy", 0, 1, {}, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Ports, NeitherBusyWritesNothing) {
    const int base = FreePortRun(2);
    RunningHost::Options options;
    RunningHost host(base, base + 1, options);
    const std::string before = ReadFile(host.Box().IniPath());
    EXPECT_EQ(host.Process().Terminate(), 0) << host.Describe();
    EXPECT_EQ(ReadFile(host.Box().IniPath()), before) << "nothing differed from the file";
}

TEST(Ports, PublicationReplacesOnlyItsOwnKey) {
    const std::string file = "https_www.zrb.example_0.localstorage";
    RunningHost::Options options;
    options.localStorage = true;
    options.prepare = [&](Sandbox& box) {
        WriteLocalStorage(
            box.LocalStorageDir() + "/" + file,
            {{kPortKey, Utf16Port(11742)}, {"page-setting", std::string("keep\0me", 7)}});
    };
    RunningHost host(options);
    const auto rows = ReadLocalStorage(host.Box().LocalStorageDir() + "/" + file);
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.at(kPortKey), Utf16Port(host.HttpsPort()));
    EXPECT_EQ(rows.at("page-setting"), std::string("keep\0me", 7)) << "the page's own data stays";
    ExpectPublished(host, host.HttpPort(), host.HttpsPort());
}

TEST(Ports, NoLocalStorageFolderMeansNothingIsCreated) {
    RunningHost host;
    EXPECT_TRUE(WaitForMessage(host.Box().LogDir(), "LocalStorage folder not found!", Scaled(2s)));
    EXPECT_FALSE(fs::exists(host.Box().Config() + "/google-chrome"));
}

}  // namespace
}  // namespace e2e
