// The request reader takes bytes from any local process. Whatever arrives, in pieces of any
// size, must read without a crash, and a reply, when one is due, must be a well-formed status
// line for a handler that saw exactly the announced body.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/U_WebServer_Http.h"

namespace {

// Hands out the input in pieces whose sizes come from a small generator seeded by the input, so
// that one input always arrives the same way; then the peer waits (every receive times out).
class TPieceConnection : public nelvo::IHttpConnection {
public:
    TPieceConnection(const std::uint8_t* data, std::size_t size)
        : Data_(reinterpret_cast<const char*>(data)), Size_(size), State_(size * 2654435761u + 1) {
        if (size > 0) State_ ^= data[0];
    }
    long Receive(char* buffer, std::size_t max, int) override {
        if (Offset_ == Size_) return Offset_ % 2 ? 0 : -1;
        State_ = State_ * 6364136223846793005ull + 1442695040888963407ull;
        const std::size_t piece = 1 + (State_ >> 33) % 64;
        const std::size_t count = std::min({max, piece, Size_ - Offset_});
        std::copy_n(Data_ + Offset_, count, buffer);
        Offset_ += count;
        return static_cast<long>(count);
    }
    bool Send(std::string_view bytes) override {
        Sent.append(bytes);
        return true;
    }
    int LastError() const override { return 0; }
    std::string LastErrorText() const override { return {}; }

    std::string Sent;

private:
    const char* Data_;
    std::size_t Size_;
    std::size_t Offset_ = 0;
    std::uint64_t State_;
};

std::string EchoedBody;

bool RegisterOnce() {
    nelvo::RegisterRoute({"POST", "PUT"},
                         [](const std::string&, const std::string&, const std::string& body,
                            nelvo::THeaderList& headers, std::string& reply, std::int32_t& status) {
                             EchoedBody = body;
                             headers.Clear();
                             headers.Add("X-Echo: 1");
                             reply = body;
                             status = body.empty() ? -200 : 200;
                         });
    nelvo::RegisterRoute(
        {"OPTIONS"},
        [](const std::string&, const std::string&, const std::string&, nelvo::THeaderList&,
           std::string&, std::int32_t& status) { status = 200; },
        std::string("*"));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = RegisterOnce();
    (void)registered;
    nelvo::THttpExchangeContext context;
    context.ServerName = "fuzz";
    context.DateText = [] { return std::string("Tue, 9 Dec 2025 14:05:33 +0300"); };
    TPieceConnection connection(data, size);
    EchoedBody.clear();
    const bool replied = nelvo::ProcessHttpExchange(connection, context);
    if (replied != !connection.Sent.empty()) std::abort();
    if (replied && connection.Sent.rfind("HTTP/1.0 ", 0) != 0) std::abort();
    // The body a handler saw is the tail of the input it came with.
    if (!EchoedBody.empty() &&
        std::string_view(reinterpret_cast<const char*>(data), size).find(EchoedBody) ==
            std::string_view::npos)
        std::abort();
    return 0;
}
