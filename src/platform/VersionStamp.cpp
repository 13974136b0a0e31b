// The version record the build puts into every binary it makes: an ELF note owned by "Nelvo"
// whose text is the product's four-part version. The file-version reader finds it by section
// name, so any of our programs or libraries answers with its version, and any other file with
// none.
#include <cstdint>

#ifndef NELVO_FILE_VERSION
#error "NELVO_FILE_VERSION must come from the build"
#endif

namespace {

struct VersionNote {
    std::uint32_t nameSize;
    std::uint32_t descSize;
    std::uint32_t type;
    char name[8];   // "Nelvo" and its terminator, padded to four bytes
    char desc[32];  // the version text, zero-padded
};

static_assert(sizeof(NELVO_FILE_VERSION) <= 32, "version text too long for its record");

[[gnu::used, gnu::section(".note.nelvo.version"),
  gnu::aligned(4)]] const VersionNote kVersionNote = {6, sizeof(VersionNote::desc), 1, "Nelvo",
                                                      NELVO_FILE_VERSION};

}  // namespace
