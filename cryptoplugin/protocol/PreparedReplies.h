// The replies phase 1 prepared and phase 2 has not yet taken, one per calling thread, so that
// many threads can run commands at once without their replies mixing.
//
// A table rather than thread-local storage: thread-local storage in a library that is loaded
// and unloaded at run time outlives its module in the runtime's bookkeeping, which leak
// checkers and some hosts trip over when the library goes. A thread that ends between the
// phases leaves its reply behind until a thread with the same identifier runs phase 1 again or
// the library is unloaded; a host runs both phases in one call, so only a failure in between
// does that.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace nelvo::cryptoplugin {

class PreparedReplies {
public:
    // Keeps the reply for the calling thread, replacing an earlier one.
    void Put(std::string reply);
    // Drops the calling thread's reply, if any.
    void Drop();
    // The size of the calling thread's reply, if it has one.
    std::optional<std::size_t> SizeOf();
    // Hands out the calling thread's reply and forgets it.
    std::optional<std::string> Take();

private:
    std::mutex lock_;
    std::map<std::thread::id, std::string> replies_;
};

// The process's one table.
PreparedReplies& Replies();

}  // namespace nelvo::cryptoplugin
