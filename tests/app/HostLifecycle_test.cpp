// The host object's start and stop over real listeners, with a private settings file,
// configuration folder and temporary folder.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/U_PluginHost.h"
#include "platform/Socket.h"
#include "support/LogCapture.h"
#include "support/Loopback.h"
#include "support/TempDir.h"
#include "web/U_InitSSL.h"
#include "web/U_WebServer.h"

namespace nelvo::test {
namespace {

using namespace std::chrono_literals;

bool Accepts(std::int32_t port, bool patient = true) {
    const int fd = ConnectLoopback(port, patient);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

class HostLifecycleTest : public ::testing::Test {
protected:
    HostLifecycleTest()
        : config_("XDG_CONFIG_HOME", (dir_ / "config").c_str()),
          temp_("TMPDIR", dir_.Path().c_str()) {
        httpPort_ = FreePort(63000 + (::getpid() * 13) % 2000);
        httpsPort_ = FreePort(httpPort_ + 1);
        WriteFile(Ini(), "[Server_HTTP]\nPort=" + std::to_string(httpPort_) +
                             "\n[Server_HTTPS]\nPort=" + std::to_string(httpsPort_) + "\n");
        CreateServerThreads();
    }
    ~HostLifecycleTest() override {
        FreeServerThreads();
        ClearTempFiles();
    }

    std::string Ini() const { return dir_ / "host.ini"; }
    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        for (const LogLine& line : log_.Lines())
            if (line.sender == "TPluginHost") messages.push_back(line.message);
        return messages;
    }

    TempDir dir_;
    ScopedEnv config_;
    ScopedEnv temp_;
    ScopedLogLines log_;
    std::int32_t httpPort_ = 0;
    std::int32_t httpsPort_ = 0;
};

TEST_F(HostLifecycleTest, StartsAndStopsBothListenersOnce) {
    TPluginHost host(Ini());
    ASSERT_TRUE(host.Start());
    EXPECT_TRUE(host.IsRunning());
    EXPECT_TRUE(Accepts(httpPort_));
    EXPECT_TRUE(Accepts(httpsPort_));
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "Starting HTTP/HTTPS server...", "Starting HTTPS server...", "Starting HTTP server...",
                              "HTTP/HTTPS server started!"}));
    log_.Clear();
    EXPECT_FALSE(host.Start()) << "already running";
    EXPECT_TRUE(Messages().empty()) << "and nothing logged";

    host.Stop();
    EXPECT_FALSE(host.IsRunning());
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "Stopping HTTP/HTTPS server...", "Stopping HTTPS server...",
                              "Stopping HTTP server...", "HTTP/HTTPS server stopped!"}));
    EXPECT_FALSE(Accepts(httpPort_, false));
    log_.Clear();
    host.Stop();
    EXPECT_TRUE(Messages().empty());

    ASSERT_TRUE(host.Start()) << "a restart takes the same ports again";
    EXPECT_TRUE(Accepts(httpsPort_));
}

TEST_F(HostLifecycleTest, ABusyPortMovesAndOnlyItsSectionIsSaved) {
    int error = 0;
    const platform::TSocket taken = platform::ListenOnLocalhost(httpsPort_, 0, error);
    ASSERT_TRUE(taken.Valid());
    TPluginHost host(Ini());
    ASSERT_TRUE(host.Start());
    const std::int32_t moved = host.Settings().Server_SSL().Port();
    EXPECT_GT(moved, httpsPort_);
    EXPECT_EQ(host.Settings().Server_RPC().Port(), httpPort_);
    const std::string ini = ReadFile(Ini());
    EXPECT_NE(ini.find("Port=" + std::to_string(moved)), std::string::npos) << ini;
    EXPECT_EQ(ini.find("[Server]"), std::string::npos) << "nothing else written: " << ini;
    EXPECT_EQ(ini.find("[Log]"), std::string::npos) << ini;
    EXPECT_TRUE(Accepts(moved));
}

TEST_F(HostLifecycleTest, DestroyingARunningHostFreesItsPorts) {
    {
        TPluginHost host(Ini());
        ASSERT_TRUE(host.Start());
    }
    int error = 0;
    EXPECT_TRUE(platform::ListenOnLocalhost(httpPort_, 0, error).Valid());
    EXPECT_TRUE(platform::ListenOnLocalhost(httpsPort_, 0, error).Valid());
}

TEST_F(HostLifecycleTest, LastConnectFollowsAcceptedConnections) {
    TPluginHost host(Ini());
    EXPECT_EQ(host.LastConnect(), 0.0);
    ASSERT_TRUE(host.Start());
    ASSERT_TRUE(Accepts(httpPort_));
    for (int i = 0; i < 200 && host.LastConnect() == 0.0; ++i) std::this_thread::sleep_for(5ms);
    const double first = host.LastConnect();
    EXPECT_GT(first, 40000.0) << "days since 1899-12-30";
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(Accepts(httpsPort_));
    for (int i = 0; i < 200 && host.LastConnect() == first; ++i) std::this_thread::sleep_for(5ms);
    EXPECT_GT(host.LastConnect(), first);
}

TEST_F(HostLifecycleTest, StatusTextFollowsTheHostsState) {
    TPluginHost host(Ini());
    std::string text = host.StatusText();
    EXPECT_NE(text.find("Путь к хост-приложению: "), std::string::npos);
    EXPECT_NE(text.find("\r\nСервер не запущен!\r\nБиблиотека не загружена!\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Журнал не ведется!"), std::string::npos);
    ASSERT_TRUE(host.Start());
    text = host.StatusText();
    EXPECT_NE(text.find("\r\nРежим: HTTP/HTTPS\r\nПорты: " + std::to_string(httpPort_) + " / " +
                        std::to_string(httpsPort_) + "\r\n"),
              std::string::npos)
        << text;
}

TEST_F(HostLifecycleTest, ServerNameIsProgramNameAndVersion) {
    TPluginHost host(Ini());
    EXPECT_EQ(host.ServerName(), "app_tests/" + GetFileVersion(GetExeFileName()));
    EXPECT_EQ(TPluginHost::LogsFolder(), ExtractFilePath(GetExeFileName()) + "Logs");
}

}  // namespace
}  // namespace nelvo::test
