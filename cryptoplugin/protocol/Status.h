// Status codes of the exported entry points: negative is failure, zero is success. Each failure
// has its own code so that a caller's log says what went wrong.
#pragma once

#include <cstdint>

namespace nelvo::cryptoplugin {

enum Status : std::int32_t {
    kStatusOk = 0,
    kStatusBadArgument = -1,    // a null pointer, or a command length that does not match its text
    kStatusBadPhase = -2,       // a phase other than 1 or 2
    kStatusNoReply = -3,        // phase 2 without a reply prepared by phase 1 on this thread
    kStatusSizeMismatch = -4,   // phase 2 with a size other than the prepared reply's
    kStatusBadCommand = -5,     // the command is not a JSON command object
    kStatusReplyTooLarge = -6,  // the reply does not fit a 32-bit size
    kStatusInternal = -7,       // out of memory or another unexpected failure
    kStatusUnsupported = -8,    // WS_Execute, kept only so that all four exports exist
};

}  // namespace nelvo::cryptoplugin
