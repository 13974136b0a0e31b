// Reading one request. Bytes arrive in pieces of any size; the reader keeps what came after the
// current line, so the body may start in the same piece as the header block.
#include <algorithm>
#include <chrono>
#include <memory>

#include "log/U_LogFile.h"
#include "tools/QxSysTools.h"
#include "web/U_WebServer_Http.h"

namespace nelvo {

namespace {

using TClock = std::chrono::steady_clock;

constexpr std::size_t ReceiveChunk = 64 * 1024;

enum class TLineResult { lrLine, lrEmpty, lrFailed };

class THttpRequestReader {
public:
    THttpRequestReader(IHttpConnection& connection, const THttpExchangeContext& context)
        : Connection_(connection), Context_(context) {}

    bool ReadRequestLine(THttpRequest& request);
    bool ReadHeaders(THttpRequest& request);
    bool ReadBody(THttpRequest& request);

    void LogFailure() const {
        HostLoger->Log(Context_.Sender, "Request not read: " + Reason_, llWarning);
    }

private:
    TLineResult ReadLine(std::string& line);
    bool Fill(TClock::time_point deadline, std::string& into, std::size_t max);
    bool IsTerminated() const { return Context_.Terminated && Context_.Terminated(); }
    TClock::time_point Deadline() const {
        return TClock::now() + std::chrono::milliseconds(Context_.ReadTimeoutMs);
    }
    void Fail(std::string reason) {
        if (Reason_.empty()) Reason_ = std::move(reason);
    }

    IHttpConnection& Connection_;
    const THttpExchangeContext& Context_;
    // On the heap, not the stack: a connection thread that never reaches deep into its stack
    // leaves nothing there for the system to unmap and flush when the thread ends.
    std::unique_ptr<char[]> Buffer_ = std::make_unique_for_overwrite<char[]>(ReceiveChunk);
    // Received bytes; those before Start_ are consumed. Consumed bytes are dropped only when more
    // must be received, so a block of many short lines is not moved once per line.
    std::string Pending_;
    std::size_t Start_ = 0;
    std::size_t Scanned_ = 0;  // no CR LF starts before this offset of Pending_
    std::string Reason_;       // the first reason the request could not be read
};

// Receives at most max more bytes before the deadline and appends them.
bool THttpRequestReader::Fill(TClock::time_point deadline, std::string& into, std::size_t max) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    if (left <= 0) {
        Fail("time-out");
        return false;
    }
    const long count =
        Connection_.Receive(Buffer_.get(), std::min(max, ReceiveChunk), static_cast<int>(left));
    if (count > 0) {
        into.append(Buffer_.get(), static_cast<std::size_t>(count));
        return true;
    }
    if (count == 0)
        Fail("connection closed");
    else
        Fail("receive failed or timed out (" + std::to_string(Connection_.LastError()) + ")");
    return false;
}

TLineResult THttpRequestReader::ReadLine(std::string& line) {
    if (IsTerminated()) {
        Fail("terminated");
        return TLineResult::lrFailed;
    }
    const auto deadline = Deadline();
    std::size_t end;
    while ((end = Pending_.find("\r\n", std::max(Start_, Scanned_))) == std::string::npos) {
        if (Pending_.size() - Start_ > HttpMaxLineLength + 1) {
            Fail("line longer than " + std::to_string(HttpMaxLineLength) + " bytes");
            return TLineResult::lrFailed;
        }
        Pending_.erase(0, Start_);
        Start_ = 0;
        // A CR at the end may be the first half of the line break.
        Scanned_ = Pending_.empty() ? 0 : Pending_.size() - 1;
        if (!Fill(deadline, Pending_, ReceiveChunk)) return TLineResult::lrFailed;
    }
    if (end - Start_ > HttpMaxLineLength) {
        Fail("line longer than " + std::to_string(HttpMaxLineLength) + " bytes");
        return TLineResult::lrFailed;
    }
    line.assign(Pending_, Start_, end - Start_);
    Start_ = end + 2;
    Scanned_ = Start_;
    return line.empty() ? TLineResult::lrEmpty : TLineResult::lrLine;
}

// Splits off the text before the first blank; blanks around both parts are removed.
std::string SplitToken(std::string& rest) {
    const auto trim = [](std::string_view text) {
        const auto begin = text.find_first_not_of(' ');
        if (begin == std::string_view::npos) return std::string();
        return std::string(text.substr(begin, text.find_last_not_of(' ') - begin + 1));
    };
    const auto blank = rest.find(' ');
    std::string token = trim(std::string_view(rest).substr(0, blank));
    rest = blank == std::string::npos ? std::string() : trim(std::string_view(rest).substr(blank));
    return token;
}

bool THttpRequestReader::ReadRequestLine(THttpRequest& request) {
    std::string rest;
    const TLineResult result = ReadLine(rest);
    if (result != TLineResult::lrLine) {
        Fail("empty request line");
        return false;
    }
    request.Method = SplitToken(rest);
    if (request.Method.empty() || rest.empty()) {
        Fail("request line without a path");
        return false;
    }
    request.URI = SplitToken(rest);
    if (request.URI.empty()) {
        Fail("request line without a path");
        return false;
    }
    request.Protocol = rest;
    HostLoger->Log(
        Context_.Sender, "Variables:", llDetail,
        "Method=" + request.Method + "\r\nURI=" + request.URI + "\r\nProtocol=" + request.Protocol);
    return true;
}

bool THttpRequestReader::ReadHeaders(THttpRequest& request) {
    request.Headers = THeaderList();
    if (request.Protocol.empty()) return true;
    if (request.Protocol.rfind("HTTP/", 0) != 0) {
        Fail("protocol is not HTTP/");
        return false;
    }
    std::vector<std::string> lines;
    std::size_t blockSize = 0;
    std::string line;
    TLineResult result;
    while ((result = ReadLine(line)) == TLineResult::lrLine) {
        blockSize += line.size() + 2;
        if (blockSize > HttpMaxHeaderBlock) {
            Fail("header block larger than " + std::to_string(HttpMaxHeaderBlock) + " bytes");
            return false;
        }
        lines.push_back(std::move(line));
    }
    if (result == TLineResult::lrFailed) return false;
    std::string text;
    for (const std::string& each : lines) text += each + "\r\n";
    HostLoger->Log(Context_.Sender, "Headers:", llDetail, text);
    request.Headers = THeaderList(std::move(lines));
    return true;
}

// Only plain decimal digits are a length; a signed or garbled value is refused rather than taken
// as "no body", since the bytes that follow would otherwise be misread.
bool ParseContentLength(const std::string& text, std::int64_t& length) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    length = std::stoll(text);
    return length <= HttpMaxContentLength;
}

bool THttpRequestReader::ReadBody(THttpRequest& request) {
    request.Body.clear();
    const std::string value = GetHeaderValue("CONTENT-LENGTH", request.Headers);
    if (value.empty()) return true;  // no header, or one without a value: no body
    std::int64_t length = 0;
    if (!ParseContentLength(value, length)) {
        Fail("content length not accepted: " + value);
        return false;
    }
    const auto wanted = static_cast<std::size_t>(length);
    if (wanted > 0 && IsTerminated()) {
        Fail("terminated");
        return false;
    }
    // Grown as bytes arrive: a length alone does not make the host hold that much memory.
    request.Body.reserve(std::min<std::size_t>(wanted, ReceiveChunk));
    request.Body.assign(Pending_, Start_, std::min(wanted, Pending_.size() - Start_));
    Pending_.clear();
    Start_ = 0;
    const auto deadline = Deadline();
    while (request.Body.size() < wanted)
        if (!Fill(deadline, request.Body, wanted - request.Body.size())) return false;
    HostLoger->Log(Context_.Sender, "Data:", llDetail, request.Body);
    return true;
}

}  // namespace

bool ReadHttpRequest(IHttpConnection& connection, const THttpExchangeContext& context,
                     THttpRequest& request) {
    THttpRequestReader reader(connection, context);
    if (reader.ReadRequestLine(request) && reader.ReadHeaders(request) && reader.ReadBody(request))
        return true;
    reader.LogFailure();
    return false;
}

}  // namespace nelvo
