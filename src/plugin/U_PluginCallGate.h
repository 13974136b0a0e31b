// The gate between calls into the plugin and the operations that must not overlap them (unload,
// reload, the end of the object that routes the calls). Calls pass it side by side; an exclusive
// operation waits until every call inside has left. From the moment one waits, new calls wait
// behind it: with a steady stream of overlapping requests a reader-first lock would never let an
// unload through, and the restart that asked for it would hang.
//
// Meets the SharedMutex requirements, so std::shared_lock and std::unique_lock work with it. Not
// re-entrant: a thread inside must not enter again.
#pragma once

#include <condition_variable>
#include <mutex>

namespace nelvo {

class TPluginCallGate {
public:
    void lock_shared();
    void unlock_shared();
    void lock();
    void unlock();

private:
    std::mutex Lock_;
    std::condition_variable Changed_;
    int Inside_ = 0;          // calls that passed the gate and have not left
    int Waiting_ = 0;         // exclusive operations waiting for the calls to leave
    bool Exclusive_ = false;  // an exclusive operation runs
};

}  // namespace nelvo
