// Harnesses whose parser reads a file get their input through one private scratch file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/File.h"

namespace nelvo::fuzz {

inline const std::string& ScratchFile() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/nelvo-fuzz-" + std::to_string(getpid());
    }();
    return path;
}

inline void WriteScratch(const std::uint8_t* data, std::size_t size) {
    platform::File file;
    if (file.Open(ScratchFile(), platform::File::Mode::Create)) file.Write(data, size);
}

}  // namespace nelvo::fuzz
