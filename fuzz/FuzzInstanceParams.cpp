// Parameters of a later start come from another process: any bytes must decode without a crash,
// and whatever decodes must encode back to exactly the same message.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/SingleInstance.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string message(reinterpret_cast<const char*>(data), size);
    const auto params = nelvo::platform::DecodeInstanceParams(message);
    if (params && nelvo::platform::EncodeInstanceParams(*params) != message) std::abort();
    return 0;
}
