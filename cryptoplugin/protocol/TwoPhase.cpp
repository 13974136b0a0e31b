#include "protocol/TwoPhase.h"

#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "protocol/Dispatcher.h"
#include "protocol/PreparedReplies.h"
#include "protocol/Status.h"

namespace nelvo::cryptoplugin {

namespace {

// The command text, when the length (which counts the terminator) matches it exactly.
std::optional<std::string_view> CommandText(const char* command, std::int32_t lengthPlusOne) {
    if (command == nullptr || lengthPlusOne < 1) return std::nullopt;
    const auto length = static_cast<std::size_t>(lengthPlusOne);
    const void* terminator = std::memchr(command, '\0', length);
    if (terminator != command + length - 1) return std::nullopt;
    return std::string_view(command, length - 1);
}

std::int32_t Prepare(const char* command, std::int32_t commandLengthPlusOne, std::int32_t* size) {
    Replies().Drop();  // a failed phase 1 must not leave an older reply to deliver
    if (size == nullptr) return kStatusBadArgument;
    *size = 0;
    const std::optional<std::string_view> text = CommandText(command, commandLengthPlusOne);
    if (!text) return kStatusBadArgument;
    std::optional<std::string> reply = ExecuteText(*text);
    if (!reply) return kStatusBadCommand;
    if (reply->size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return kStatusReplyTooLarge;
    }
    *size = static_cast<std::int32_t>(reply->size());
    Replies().Put(std::move(*reply));
    return kStatusOk;
}

// A failed delivery changes nothing, so the caller may try again with the right size.
std::int32_t Deliver(char* buffer, const std::int32_t* size) {
    if (size == nullptr) return kStatusBadArgument;
    const std::optional<std::size_t> prepared = Replies().SizeOf();
    if (!prepared) return kStatusNoReply;
    if (*size < 0 || static_cast<std::size_t>(*size) != *prepared) return kStatusSizeMismatch;
    if (buffer == nullptr) return kStatusBadArgument;
    const std::optional<std::string> reply = Replies().Take();
    if (!reply) return kStatusNoReply;
    std::memcpy(buffer, reply->data(), reply->size());
    return kStatusOk;
}

}  // namespace

std::int32_t ExecuteTwoPhase(const char* command, std::int32_t commandLengthPlusOne, char* buffer,
                             std::int32_t* size, std::int32_t phase) {
    switch (phase) {
        case 1:
            return Prepare(command, commandLengthPlusOne, size);
        case 2:
            return Deliver(buffer, size);
        default:
            return kStatusBadPhase;
    }
}

}  // namespace nelvo::cryptoplugin
