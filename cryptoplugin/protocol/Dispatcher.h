// Runs one command: finds or creates the instance it addresses, routes the method to it and
// builds the reply.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/Command.h"

namespace nelvo::cryptoplugin {

inline constexpr std::string_view kReleaseMethod = "Release";

Reply Execute(const Command& command);

// The reply text for a command text, or nothing when the text is not a command.
std::optional<std::string> ExecuteText(std::string_view text);

// Forgets every instance (the library is being shut down).
void ReleaseAllInstances();

}  // namespace nelvo::cryptoplugin
