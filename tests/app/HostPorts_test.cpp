#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/U_HostPorts.h"
#include "log/U_LogFile.h"
#include "platform/Net.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace nelvo {
namespace {

using testing::ElementsAre;

// The host log as "E:" (error) or "M:" (any other level) followed by the message.
class ScopedMessages {
public:
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& line : log_.Lines())
            lines.push_back((line.error ? "E:" : "M:") + line.message);
        return lines;
    }

private:
    test::ScopedLogLines log_;
};

// A port probe over a set of taken ports that remembers every port it was asked about.
struct ScriptedPorts {
    std::set<std::int32_t> taken;
    std::vector<std::int32_t> tried;
    TPortProbe Probe() {
        return [this](std::int32_t port) {
            tried.push_back(port);
            return taken.count(port) == 0;
        };
    }
};

// A socket listening on an ephemeral loopback port, closed with the object.
class Listener {
public:
    Listener() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(fd_, 1) == 0 &&
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~Listener() { Close(); }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int Port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

class HostPortsTest : public testing::Test {
protected:
    HostPortsTest() { settings.Load(); }
    void SetPorts(std::int32_t http, std::int32_t https) {
        settings.Server_RPC().SetPort(http);
        settings.Server_SSL().SetPort(https);
    }
    bool CheckAndFind() {
        TSettingsParts busy;
        if (CheckPorts(settings, busy, ports.Probe())) return true;
        lastBusy = busy;
        return FindPorts(settings, busy, ports.Probe());
    }

    test::TempDir dir;
    THostSettings settings{dir / "nelvo-host.ini"};
    ScriptedPorts ports;
    TSettingsParts lastBusy;
    ScopedMessages log;
};

TEST(IsPortFreeTest, PortHeldByAListenerIsBusyAndFreeAfterItCloses) {
    Listener listener;
    ASSERT_NE(listener.Port(), 0);
    const std::string port = std::to_string(listener.Port());
    EXPECT_FALSE(IsPortFree(port));
    listener.Close();
    EXPECT_TRUE(IsPortFree(port));
}

TEST(IsPortFreeTest, TextThatIsNoPortIsNeverFree) {
    // "0" would otherwise bind some ephemeral port and pass.
    for (const char* text : {"", "0", "-1", "65536", "99999999999", "abc", "117 41", "0x2DDD"})
        EXPECT_FALSE(IsPortFree(text)) << '"' << text << '"';
}

TEST_F(HostPortsTest, CheckPortsTestsBothPortsHttpFirst) {
    struct Case {
        std::set<std::int32_t> taken;
        bool result;
        TSettingsParts busy;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {{}, true, {}, {}},
        {{11741}, false, {TSettingsPart::spHttpPort}, {"M:HTTP port not available!"}},
        {{11742}, false, {TSettingsPart::spHttpsPort}, {"M:HTTPS port not available!"}},
        {{11741, 11742},
         false,
         {TSettingsPart::spHttpPort, TSettingsPart::spHttpsPort},
         {"M:HTTP port not available!", "M:HTTPS port not available!"}},
    };
    for (const Case& c : cases) {
        ScopedMessages messages;
        ScriptedPorts scripted{c.taken, {}};
        TSettingsParts busy{TSettingsPart::spDomains};  // stale content must go
        EXPECT_EQ(CheckPorts(settings, busy, scripted.Probe()), c.result);
        EXPECT_EQ(busy, c.busy);
        EXPECT_THAT(scripted.tried, ElementsAre(11741, 11742));
        EXPECT_EQ(messages.Lines(), c.lines);
    }
}

TEST_F(HostPortsTest, BusyHttpPortMovesUpPastTheHttpsPort) {
    ports.taken = {11741, 11743};
    EXPECT_TRUE(CheckAndFind());
    EXPECT_EQ(lastBusy, TSettingsParts{TSettingsPart::spHttpPort});
    EXPECT_EQ(settings.Server_RPC().Port(), 11744);
    EXPECT_EQ(settings.Server_SSL().Port(), 11742);
    EXPECT_THAT(ports.tried, ElementsAre(11741, 11742, 11743, 11744));
    EXPECT_THAT(log.Lines(),
                ElementsAre("M:HTTP port not available!", "M:Changed HTTP port to 11744"));
}

TEST_F(HostPortsTest, BothBusyHttpMovesFirstAndHttpsSkipsItsNewPort) {
    SetPorts(11742, 11743);
    ports.taken = {11742, 11743};
    EXPECT_TRUE(CheckAndFind());
    EXPECT_EQ(settings.Server_RPC().Port(), 11744);
    EXPECT_EQ(settings.Server_SSL().Port(), 11745);
    // Checks, then HTTP skips 11743 and takes 11744, then HTTPS skips 11744.
    EXPECT_THAT(ports.tried, ElementsAre(11742, 11743, 11744, 11745));
    EXPECT_THAT(log.Lines(),
                ElementsAre("M:HTTP port not available!", "M:HTTPS port not available!",
                            "M:Changed HTTP port to 11744", "M:Changed HTTPS port to 11745"));
}

TEST_F(HostPortsTest, DefaultsBothBusyLandOnTheNextTwoPorts) {
    ports.taken = {11741, 11742};
    EXPECT_TRUE(CheckAndFind());
    EXPECT_EQ(settings.Server_RPC().Port(), 11743);
    EXPECT_EQ(settings.Server_SSL().Port(), 11744);
}

TEST_F(HostPortsTest, NoCandidateAboveTheLastPortFailsAndKeepsThePort) {
    SetPorts(11741, 65534);
    ports.taken = {65534};
    EXPECT_FALSE(CheckAndFind());
    EXPECT_EQ(settings.Server_SSL().Port(), 65534);
    EXPECT_THAT(ports.tried, ElementsAre(11741, 65534));  // the checks only; 65535 never tried
    EXPECT_THAT(log.Lines(),
                ElementsAre("M:HTTPS port not available!", "E:Failed to find available ports!"));
}

TEST_F(HostPortsTest, FailedHttpSearchLeavesHttpsUnsearched) {
    SetPorts(65533, 65534);
    ports.taken = {65533, 65534};
    EXPECT_FALSE(CheckAndFind());
    // The only candidate above 65533 is the HTTPS port, which is skipped.
    EXPECT_THAT(ports.tried, ElementsAre(65533, 65534));
    EXPECT_EQ(settings.Server_RPC().Port(), 65533);
    EXPECT_EQ(settings.Server_SSL().Port(), 65534);
}

TEST_F(HostPortsTest, MovedPortIsSavedAloneWithTheBusySet) {
    ports.taken = {11741};
    ASSERT_TRUE(CheckAndFind());
    settings.Save(lastBusy);
    const std::string ini = test::ReadFile(dir / "nelvo-host.ini");
    EXPECT_NE(ini.find("[Server_HTTP]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Port=11743"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("[Server_HTTPS]"), std::string::npos) << ini;
}

class PortPageTest : public testing::Test {
protected:
    PortPageTest() {
        listener.SetDefault(11741);
        listener.SetPort(11750);
    }
    TDaemonSettings listener;
    ScriptedPorts ports;
};

TEST_F(PortPageTest, ValidatePort) {
    const std::string range = "Порт должен находиться в диапазоне [1024..65534]!";
    struct Case {
        const char* edit;
        bool ok;
        std::string message;
        std::vector<std::int32_t> tried;
    };
    const Case cases[] = {
        {"80", false, range, {}},
        {"1023", false, range, {}},
        {"65535", false, range, {}},
        {"", false, range, {}},
        {"12a", false, range, {}},
        {"1024", true, "", {1024}},
        {"65534", true, "", {65534}},
        {"11750", true, "", {}},  // the current port: the host itself holds it
        {"11760", false, "Порт 11760 занят!", {11760}},
    };
    ports.taken = {11750, 11760};
    for (const Case& c : cases) {
        ports.tried.clear();
        const TPortCheck check = ValidatePort(c.edit, listener, ports.Probe());
        EXPECT_EQ(check.Ok, c.ok) << c.edit;
        EXPECT_EQ(check.Message, c.message) << c.edit;
        EXPECT_EQ(check.EditText, c.ok ? std::string(c.edit) : "11750") << c.edit;
        EXPECT_EQ(ports.tried, c.tried) << c.edit;
    }
}

TEST_F(PortPageTest, CheckPortDomainsNeedsADomainForANonDefaultPort) {
    TCommonSettings common;
    const std::string message = "Укажите домен для информирования о смене порта!";
    common.SetDomains("");
    EXPECT_EQ(CheckPortDomains("11750", listener, common).Message, message);
    EXPECT_FALSE(CheckPortDomains("11750", listener, common).Ok);
    EXPECT_TRUE(CheckPortDomains("11741", listener, common).Ok);
    common.SetDomains("bank.example");
    EXPECT_TRUE(CheckPortDomains("11750", listener, common).Ok);
}

TEST_F(PortPageTest, StatusTextsAndTestButton) {
    EXPECT_EQ(PortStatusText("11750", true, listener), "Порт 11750 сейчас занят хост-приложением.");
    EXPECT_EQ(PortStatusText("11750", false, listener),
              "Порт 11750 сейчас занят хост-приложением.");
    EXPECT_EQ(PortStatusText("11751", true, listener), "Порт 11751 свободен!");
    EXPECT_EQ(PortStatusText("11751", false, listener), "Порт 11751 занят!");

    ports.taken = {11750, 11760};
    EXPECT_EQ(TestPortText("11750", listener, ports.Probe()),
              "Порт 11750 сейчас занят хост-приложением.");
    EXPECT_EQ(TestPortText("11760", listener, ports.Probe()), "Порт 11760 занят!");
    EXPECT_EQ(TestPortText("11761", listener, ports.Probe()), "Порт 11761 свободен!");
    EXPECT_EQ(TestPortText("x", listener, ports.Probe()), "Порт x занят!");
}

TEST(AddressStatusTest, FirstAnswerIsKeptForTheRun) {
    int calls = 0;
    TAddressStatus status([&calls](std::string& address) {
        ++calls;
        if (calls == 1) return false;
        address = "127.0.0.1";
        return true;
    });
    const std::string down = std::string("Адрес ") + ServiceHostName + " НЕ доступен!";
    EXPECT_EQ(status.Text(), down);
    EXPECT_EQ(status.Text(), down);
    EXPECT_EQ(calls, 1);

    TAddressStatus up([](std::string& address) {
        address = "127.0.0.1";
        return true;
    });
    EXPECT_EQ(up.Text(), std::string("Адрес ") + ServiceHostName + " (127.0.0.1) доступен!");
}

TEST(ResolveTest, ResolverAnswersAndMisses) {
    EXPECT_THAT(platform::ResolveIPv4("localhost"), testing::Contains("127.0.0.1"));
    EXPECT_TRUE(platform::ResolveIPv4("no-such-host.invalid").empty());
    EXPECT_TRUE(platform::ResolveIPv4("").empty());
}

TEST(ResolveTest, ServiceHostNameResolvesToLoopback) {
    std::string address = "stale";
    const bool resolved = ResolveServiceHost(address);
    EXPECT_EQ(CheckLocalAddress(), resolved);
    if (!resolved) {
        EXPECT_EQ(address, "");
        GTEST_SKIP() << "this machine's resolver does not answer *.localhost names; install "
                        "libnss-myhostname (./dev.sh does) and have \"myhostname\" on the hosts "
                        "line of /etc/nsswitch.conf";
    }
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(AddressStatusText(),
              std::string("Адрес ") + ServiceHostName + " (127.0.0.1) доступен!");
}

}  // namespace
}  // namespace nelvo
