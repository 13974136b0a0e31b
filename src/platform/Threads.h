// Thread facilities the standard library does not offer.
#pragma once

#include <cstddef>

namespace nelvo::platform {

// The stack size of every thread created afterwards, std::thread included.
void SetDefaultThreadStackSize(std::size_t bytes);

}  // namespace nelvo::platform
