#include "log/QxThreads.h"

namespace nelvo {

void TQxThreadSafetyClass::Lock() const {
    lock_.lock();
}

void TQxThreadSafetyClass::Unlock() const {
    lock_.unlock();
}

std::unique_lock<std::recursive_mutex> TQxThreadSafetyClass::Guard() const {
    return std::unique_lock(lock_);
}

}  // namespace nelvo
