// Listeners and connection threads of the local web service.
//
// Each listener is a thread that waits for connections on the loopback address and hands every
// accepted one to a connection thread of its own; a connection thread serves one request and one
// reply, closes the connection and frees itself. The HTTPS listener prepares the TLS material
// when it is created, and its connection threads shake hands before they read.
//
//   CreateServerThreads();                              // module set-up
//   auto http = std::make_unique<ThttpDaemon>(settings.Server_RPC(), onConnect);
//   ...
//   http->Stop(); http.reset();                         // host stop
//   FreeServerThreads();                                // program end, after every listener
//
// Ownership: the host owns the listeners. The process-wide list of live connection threads
// (ServerThreads) owns the connection threads; a thread that ends removes itself from the list
// and is gone, and the final clean-up takes the ones still alive, wakes those that wait for the
// peer, and waits for each. Whether a thread frees itself or the clean-up frees it is decided
// under the list's lock, so a thread is freed exactly once.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Socket.h"
#include "tools/QxObject.h"

namespace nelvo {

class TDaemonSettings;

// Called on the listener thread after each accepted connection.
using TConnectEvent = std::function<void()>;

// How long a listener waits for a connection before it looks at its stop request again; a stop
// request also wakes it at once.
inline constexpr int DaemonAcceptWaitMs = 1000;
// Accepted connections linger this long on close so that a reply is not cut off.
inline constexpr int DaemonLingerSeconds = 10;

// The plain HTTP listener.
class ThttpDaemon : public TObject {
public:
    // Starts the listener thread at once; binding happens on that thread. A port that cannot be
    // bound is logged, and the thread then only waits for its stop request.
    ThttpDaemon(const TDaemonSettings& settings, TConnectEvent onConnect);
    // Stops the thread when that has not happened yet.
    ~ThttpDaemon() override;
    ThttpDaemon(const ThttpDaemon&) = delete;
    ThttpDaemon& operator=(const ThttpDaemon&) = delete;

    // Clears the connection event, asks the thread to end and waits until it has.
    void Stop();
    // The port is bound and listening (tests; the host relies on its own port test).
    bool IsListening() const { return Listening_; }

protected:
    enum class TKind { Http, Https };
    ThttpDaemon(const TDaemonSettings& settings, TConnectEvent onConnect, TKind kind);

private:
    void Execute();
    void AcceptLoop();
    void CreateConnection(platform::TSocket socket);
    void Connected();

    const std::int32_t Port_;
    const TKind Kind_;
    std::mutex EventLock_;
    TConnectEvent OnConnect_;  // guarded by EventLock_
    platform::TSocket Socket_;  // the listener thread's own
    platform::TWakeSignal Wake_;
    std::atomic<bool> Terminated_{false};
    std::atomic<bool> Listening_{false};
    std::thread Thread_;
};

// The HTTPS listener: prepares the TLS material, then listens like the HTTP one.
class TsslDaemon : public ThttpDaemon {
public:
    TsslDaemon(const TDaemonSettings& settings, TConnectEvent onConnect);
};

// One connection: one request, one reply.
class ThttpThread : public TObject {
public:
    ~ThttpThread() override;
    ThttpThread(const ThttpThread&) = delete;
    ThttpThread& operator=(const ThttpThread&) = delete;

    // Makes the thread for an accepted connection, enters it into ServerThreads and starts it.
    // False (the connection closed, the reason logged) when the list is closed or no thread
    // could be started.
    static bool Start(platform::TSocket socket, bool tls);

protected:
    explicit ThttpThread(platform::TSocket socket);
    // The exchange over the plain socket; TsslThread shakes hands first.
    virtual void Execute();
    virtual const char* ExecuteContext() const { return "ThttpThread.Execute"; }
    // Serves the one exchange of this thread over the given connection.
    template <typename TConnection>
    void Serve(TConnection& connection);
    int Handle() const { return Socket_.Handle(); }

private:
    friend class TServerThreadList;
    void Run();
    void RequestTerminate();

    platform::TSocket Socket_;
    std::atomic<bool> Terminated_{false};
    std::thread Thread_;
    // Both guarded by the list's lock: who frees the thread, and whether its body is over.
    bool FreeOnTerminate_ = true;
    bool Finished_ = false;
};

class TsslThread : public ThttpThread {
public:
    explicit TsslThread(platform::TSocket socket) : ThttpThread(std::move(socket)) {}

protected:
    void Execute() override;
    const char* ExecuteContext() const override { return "TsslThread.Execute"; }
};

// Opens the list of connection threads (module set-up; again after FreeServerThreads).
void CreateServerThreads();
// The final clean-up: wakes and waits for every connection thread still alive, frees it, and
// closes the list. Call it only after every listener has stopped.
void FreeServerThreads();
// How many connection threads are alive.
std::size_t ServerThreadCount();

}  // namespace nelvo
