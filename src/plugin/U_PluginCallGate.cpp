#include "plugin/U_PluginCallGate.h"

namespace nelvo {

void TPluginCallGate::lock_shared() {
    std::unique_lock guard(Lock_);
    Changed_.wait(guard, [this] { return !Exclusive_ && Waiting_ == 0; });
    ++Inside_;
}

void TPluginCallGate::unlock_shared() {
    std::lock_guard guard(Lock_);
    if (--Inside_ == 0) Changed_.notify_all();
}

void TPluginCallGate::lock() {
    std::unique_lock guard(Lock_);
    ++Waiting_;
    Changed_.wait(guard, [this] { return !Exclusive_ && Inside_ == 0; });
    --Waiting_;
    Exclusive_ = true;
}

void TPluginCallGate::unlock() {
    std::lock_guard guard(Lock_);
    Exclusive_ = false;
    Changed_.notify_all();
}

}  // namespace nelvo
