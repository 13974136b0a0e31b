#include <signal.h>

#include <cstring>

#include "platform/Signals.h"

namespace nelvo::platform {

namespace {

sigset_t EndSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

static_assert(sizeof(sigset_t) <= 128, "signal mask does not fit");

TTerminationSignals::TTerminationSignals() {
    const sigset_t set = EndSignals();
    sigset_t former;
    pthread_sigmask(SIG_BLOCK, &set, &former);
    std::memcpy(former_, &former, sizeof former);
}

TTerminationSignals::~TTerminationSignals() {
    sigset_t former;
    std::memcpy(&former, former_, sizeof former);
    pthread_sigmask(SIG_SETMASK, &former, nullptr);
}

int TTerminationSignals::TakePending() {
    const sigset_t set = EndSignals();
    const timespec noWait{0, 0};
    const int signal = sigtimedwait(&set, nullptr, &noWait);
    return signal > 0 ? signal : 0;
}

}  // namespace nelvo::platform
