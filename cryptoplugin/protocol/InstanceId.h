// Instance identifiers: a random GUID in its 38-character text form with braces and upper-case
// hexadecimal digits, "{1B4E28BA-2FA1-41D2-883F-0016D3CCA427}". They come from the system's
// random source, so that one caller cannot guess another caller's instance.
#pragma once

#include <random>
#include <string>

namespace nelvo::cryptoplugin {

std::string NewInstanceId(std::random_device& random);

}  // namespace nelvo::cryptoplugin
