// A program file is outside input to the version reader: damaged headers must end in
// "0.0.0.0" or a version, never in a read outside the file.
#include <cstdint>

#include "FuzzSupport.h"
#include "tools/QxSysTools.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nelvo::fuzz::WriteScratch(data, size);
    const std::string version = nelvo::GetFileVersion(nelvo::fuzz::ScratchFile());
    if (version.empty()) std::abort();
    return 0;
}
