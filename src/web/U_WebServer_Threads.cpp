// The connection threads and the list of those alive.
#include <condition_variable>
#include <list>
#include <system_error>

#include "log/U_LogFile.h"
#include "platform/PrivateFiles.h"
#include "web/U_InitSSL.h"
#include "web/U_WebServer.h"
#include "web/U_WebServer_Connection.h"
#include "web/U_WebServer_Host.h"

namespace nelvo {

// Owns the live connection threads. A thread leaves the list when its body is over (and is freed
// by itself then), unless the final clean-up has claimed it; both decisions are taken under the
// one lock, so exactly one party frees a thread.
class TServerThreadList {
public:
    void Open() {
        std::lock_guard guard(Lock_);
        Open_ = true;
    }

    bool AddAndStart(std::unique_ptr<ThttpThread> thread) {
        std::lock_guard guard(Lock_);
        if (!Open_) return false;
        Threads_.push_back(std::move(thread));
        ThttpThread* added = Threads_.back().get();
        try {
            // Started under the lock: the body cannot reach Finish before it is in the list.
            added->Thread_ = std::thread(&ThttpThread::Run, added);
        } catch (const std::system_error&) {
            Threads_.pop_back();
            return false;
        }
        return true;
    }

    // The end of a thread's body. After it returns the thread may be gone.
    void Finish(ThttpThread* thread) {
        std::unique_ptr<ThttpThread> self;
        {
            std::lock_guard guard(Lock_);
            thread->Finished_ = true;
            if (!thread->FreeOnTerminate_) {
                Ended_.notify_all();
                return;
            }
            for (auto it = Threads_.begin(); it != Threads_.end(); ++it)
                if (it->get() == thread) {
                    self = std::move(*it);
                    Threads_.erase(it);
                    break;
                }
            thread->Thread_.detach();
        }
        // Frees the object on its own thread; the caller touches nothing of it afterwards.
    }

    void FreeAll() {
        std::unique_lock lock(Lock_);
        Open_ = false;
        if (!Threads_.empty())
            HostLoger->Log(nullptr,
                           "Server threads cleanup: " + std::to_string(Threads_.size()) +
                               " threads.",
                           llBackground);
        while (!Threads_.empty()) {
            ThttpThread* thread = Threads_.front().get();
            thread->FreeOnTerminate_ = false;
            thread->RequestTerminate();
            Ended_.wait(lock, [thread] { return thread->Finished_; });
            std::unique_ptr<ThttpThread> owned = std::move(Threads_.front());
            Threads_.pop_front();
            lock.unlock();
            owned->Thread_.join();
            owned.reset();
            lock.lock();
        }
    }

    std::size_t Count() {
        std::lock_guard guard(Lock_);
        return Threads_.size();
    }

private:
    std::mutex Lock_;
    std::condition_variable Ended_;
    std::list<std::unique_ptr<ThttpThread>> Threads_;  // guarded by Lock_
    bool Open_ = false;                                 // guarded by Lock_
};

namespace {

// Lives for the whole process, so a late thread never meets a destroyed list; closing it is
// what ends its use.
TServerThreadList& ServerThreads() {
    static TServerThreadList list;
    return list;
}

}  // namespace

ThttpThread::ThttpThread(platform::TSocket socket) : Socket_(std::move(socket)) {}

ThttpThread::~ThttpThread() = default;

bool ThttpThread::Start(platform::TSocket socket, bool tls) {
    std::unique_ptr<ThttpThread> thread = tls ? std::make_unique<TsslThread>(std::move(socket))
                                              : std::unique_ptr<ThttpThread>(
                                                    new ThttpThread(std::move(socket)));
    if (ServerThreads().AddAndStart(std::move(thread))) return true;
    HostLoger->Log(nullptr, "Connection dropped: no connection thread could be started", llError);
    return false;
}

void ThttpThread::Run() {
    try {
        Execute();
    } catch (const std::exception& e) {
        HostLoger->LogException(this, ExecuteContext(), e);
    }
    ServerThreads().Finish(this);
}

void ThttpThread::RequestTerminate() {
    Terminated_ = true;
    // A thread waiting for the peer wakes up and ends without a reply; one that is writing its
    // reply still sends it.
    platform::StopReceiving(Socket_.Handle());
}

template <typename TConnection>
void ThttpThread::Serve(TConnection& connection) {
    THttpExchangeContext context;
    if (IWebServiceHost* host = WebServiceHost()) context.ServerName = host->ServerName();
    context.Sender = this;
    context.Terminated = [this] { return Terminated_.load(); };
    ProcessHttpExchange(connection, context);
}

void ThttpThread::Execute() {
    TSocketConnection connection(Socket_.Handle());
    Serve(connection);
}

void TsslThread::Execute() {
    // OpenSSL writes to the socket with plain write(): a peer that is gone must not end the
    // program with SIGPIPE.
    platform::ScopedSigPipeBlock noSigPipe;
    TsslContext tls;
    const ossl::SslPtr ssl = AcceptSSL(Handle(), tls);
    if (!ssl) return;
    platform::TScopedNonBlocking nonBlocking(Handle());
    if (!nonBlocking.Ok()) throw ESSLError("Cannot switch the socket to non-blocking");
    TSslConnection connection(ssl.get(), Handle());
    Serve(connection);
    connection.Close();
}

void CreateServerThreads() {
    ServerThreads().Open();
}

void FreeServerThreads() {
    ServerThreads().FreeAll();
}

std::size_t ServerThreadCount() {
    return ServerThreads().Count();
}

}  // namespace nelvo
