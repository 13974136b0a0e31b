// The two-phase exchange of WS_ExecuteEx. Phase 1 runs the command and keeps its reply for the
// calling thread; phase 2, on the same thread, copies it into the caller's buffer.
#pragma once

#include <cstdint>

namespace nelvo::cryptoplugin {

std::int32_t ExecuteTwoPhase(const char* command, std::int32_t commandLengthPlusOne, char* buffer,
                             std::int32_t* size, std::int32_t phase);

}  // namespace nelvo::cryptoplugin
