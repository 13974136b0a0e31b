// Fixtures of the TLS tests: a private configuration and temporary folder, the host log as a
// list of lines, and a loopback TCP connection with an OpenSSL client on the other end.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/U_LogFile.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "web/U_InitSSL.h"

namespace nelvo::test {

using SslLogLine = LogLine;
using TSslLineLoger = TLogLineLoger;

// Every test runs with its own configuration folder (the material) and temporary folder, and
// leaves no temporary file behind.
class SslTest : public ::testing::Test {
protected:
    SslTest()
        : config_("XDG_CONFIG_HOME", (dir_ / "config").c_str()),
          temp_("TMPDIR", (dir_ / "tmp").c_str()) {
        auto loger = std::make_unique<TSslLineLoger>();
        loger_ = loger.get();
        SetHostLoger(std::move(loger));
    }
    ~SslTest() override {
        ClearTempFiles();
        SetHostLoger(nullptr);
    }

    std::vector<SslLogLine> Lines() const { return loger_->Lines(); }
    bool Logged(const std::string& message, bool error = false) const;
    // The first line that starts with the text; fails the test when there is none.
    SslLogLine LineStartingWith(const std::string& text) const;
    // The run's temporary files ("nelvo-tls-*/TMP*.tmp").
    std::vector<std::string> TempFiles() const;

    TempDir dir_;

private:
    ScopedEnv config_;
    ScopedEnv temp_;
    TSslLineLoger* loger_;
};

// A connected pair of TCP sockets on 127.0.0.1; both ends closed with the object.
class TLoopback {
public:
    TLoopback();
    ~TLoopback();
    TLoopback(const TLoopback&) = delete;
    TLoopback& operator=(const TLoopback&) = delete;

    int Server() const { return server_; }
    int Client() const { return client_; }
    // Ends the connection in both directions, so that a waiting client returns.
    void ShutdownServer();

private:
    int server_ = -1;
    int client_ = -1;
};

// How the client side behaves.
struct ClientPlan {
    std::string caPem;       // trusted CA; empty: the system's default store only
    std::string expectName;  // host name or IP address the certificate must match
    bool sendPlainHttp = false;
    bool sendNothing = false;
};

struct ClientOutcome {
    bool handshake = false;
    long verifyResult = -1;
    std::string received;  // what the server sent after the handshake
};

// Runs the client on its own thread; Join returns what it saw.
class TSslClient {
public:
    // request: sent after the handshake, when there is one.
    TSslClient(int fd, ClientPlan plan, std::string request = {});
    ~TSslClient();
    ClientOutcome Join();

private:
    ClientOutcome outcome_;
    std::thread thread_;
};

const std::string& Text(const TsslTexts& texts, TsslResource resource);

}  // namespace nelvo::test
