// The signals that ask the program to end (SIGTERM, SIGINT, SIGHUP): held back from every thread
// and taken by the main loop, so that they end the program through its orderly end instead of
// killing it with temporary files left behind.
#pragma once

namespace nelvo::platform {

class TTerminationSignals {
public:
    // Blocks the signals on the calling thread; threads started afterwards inherit the mask, so
    // create this before any other thread exists.
    TTerminationSignals();
    // Gives the former mask back; a signal still pending then acts as it would have.
    ~TTerminationSignals();
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

    // Takes one pending signal without waiting; its number, or 0 when none is pending.
    int TakePending();

private:
    unsigned char former_[128];  // the former signal mask (a sigset_t)
};

}  // namespace nelvo::platform
