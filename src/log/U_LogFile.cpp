#include "log/U_LogFile.h"

#include <mutex>

namespace nelvo {

namespace {

// What the calls reach after FreeHostLoger: a log that never consults a settings file.
class TSilentHostLoger : public THostLoger {
protected:
    std::string GetLogFileName() const override { return {}; }
};

THostLoger& SilentLoger() {
    static TSilentHostLoger silent;
    return silent;
}

std::mutex gLogerLock;  // guards the pointer below, not the log itself
std::unique_ptr<THostLoger> gLoger;
bool gFreed = false;

// A log comes into being configured. Whatever fails while reading the configuration leaves it
// configured (and silent); it must not stop the part that happened to log first.
void ConfigureNow(THostLoger& loger) {
    try {
        loger.IsEnabled();
    } catch (...) {
    }
}

}  // namespace

const THostLogerAccess HostLoger;

THostLoger* THostLogerAccess::operator->() const {
    THostLoger* created = nullptr;
    {
        std::lock_guard guard(gLogerLock);
        if (gLoger) return gLoger.get();
        if (gFreed) return &SilentLoger();
        gLoger = std::make_unique<THostLoger>();
        created = gLoger.get();
    }
    // Outside the pointer's lock: other threads get the new log at once and wait for its
    // configuration on the log's own lock.
    ConfigureNow(*created);
    return created;
}

// The old log is destroyed after the pointer's lock is released (declared before the guard).
void FreeHostLoger() {
    std::unique_ptr<THostLoger> old;
    std::lock_guard guard(gLogerLock);
    old.swap(gLoger);
    gFreed = true;
}

void SetHostLoger(std::unique_ptr<THostLoger> loger) {
    if (loger) ConfigureNow(*loger);
    std::unique_ptr<THostLoger> old;
    std::lock_guard guard(gLogerLock);
    old.swap(gLoger);
    gLoger = std::move(loger);
    gFreed = false;
}

}  // namespace nelvo
