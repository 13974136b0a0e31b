// Base of the objects that several threads share behind one lock.
#pragma once

#include <mutex>

#include "tools/QxObject.h"

namespace nelvo {

// One re-entrant lock per object: a holder may call back into its own object (the log writer
// takes the lock again for the buffer hand-over while its owner already holds it).
class TQxThreadSafetyClass : public TObject {
public:
    TQxThreadSafetyClass() = default;
    TQxThreadSafetyClass(const TQxThreadSafetyClass&) = delete;
    TQxThreadSafetyClass& operator=(const TQxThreadSafetyClass&) = delete;

    void Lock() const;
    void Unlock() const;
    // Holds the lock until the returned object goes out of scope.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> Guard() const;

private:
    mutable std::recursive_mutex lock_;
};

}  // namespace nelvo
