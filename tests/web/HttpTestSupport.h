// Helpers of the HTTP exchange tests: an in-memory connection that hands out scripted bytes in
// pieces, a host log that keeps its lines, and a route table emptied around each test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "log/U_LogFile.h"
#include "support/LogCapture.h"
#include "web/U_WebServer_Http.h"

namespace nelvo::test {

// The bytes of a request arrive in pieces of at most Piece bytes; after the last one the peer
// either waits (every further receive times out) or closes.
class TFakeConnection : public IHttpConnection {
public:
    enum class TEnd { Stall, Close };

    explicit TFakeConnection(std::string bytes, std::size_t piece = SIZE_MAX,
                             TEnd end = TEnd::Stall)
        : Bytes_(std::move(bytes)), Piece_(std::max<std::size_t>(piece, 1)), End_(end) {}

    long Receive(char* buffer, std::size_t max, int) override {
        ++Receives;
        if (Offset_ == Bytes_.size()) {
            LastError_ = End_ == TEnd::Stall ? ETIMEDOUT : 0;
            return End_ == TEnd::Stall ? -1 : 0;
        }
        const std::size_t count = std::min({max, Piece_, Bytes_.size() - Offset_});
        Bytes_.copy(buffer, count, Offset_);
        Offset_ += count;
        return static_cast<long>(count);
    }
    bool Send(std::string_view bytes) override {
        if (FailSend) {
            LastError_ = EPIPE;
            return false;
        }
        Sent.append(bytes);
        return true;
    }
    int LastError() const override { return LastError_; }
    std::string LastErrorText() const override { return LastError_ ? "Broken pipe" : ""; }

    std::string Sent;
    bool FailSend = false;
    int Receives = 0;

private:
    std::string Bytes_;
    std::size_t Offset_ = 0;
    std::size_t Piece_;
    TEnd End_;
    int LastError_ = 0;
};

using TLogLine = LogLine;

inline constexpr char TestDate[] = "Tue, 9 Dec 2025 14:05:33 +0300";

// Every test starts with an empty route table, a capturing log and a fixed date.
class HttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        FreeRoutes();
        auto loger = std::make_unique<TLogLineLoger>();
        Log_ = loger.get();
        SetHostLoger(std::move(loger));
        Context.ServerName = "TestServer/1.0";
        Context.DateText = [] { return std::string(TestDate); };
    }
    void TearDown() override {
        SetHostLoger(nullptr);
        FreeRoutes();
    }

    // Runs one exchange over the bytes and returns what was sent back.
    std::string Exchange(std::string bytes, std::size_t piece = SIZE_MAX) {
        TFakeConnection connection(std::move(bytes), piece);
        ProcessHttpExchange(connection, Context);
        return connection.Sent;
    }

    std::vector<TLogLine> LogLines() const { return Log_->Lines(); }
    // The detail of the first line with this message; "<none>" when there is none.
    std::string DetailOf(const std::string& message) const {
        for (const TLogLine& line : LogLines())
            if (line.message == message) return line.detail;
        return "<none>";
    }
    bool Logged(const std::string& prefix) const {
        for (const TLogLine& line : LogLines())
            if (line.message.rfind(prefix, 0) == 0) return true;
        return false;
    }

    THttpExchangeContext Context;

private:
    TLogLineLoger* Log_ = nullptr;
};

}  // namespace nelvo::test
