// Files that hold keys: folders 0700, files 0600, and writes that either land whole or not at
// all. A crash in the middle of a write leaves at most a hidden temporary entry behind, never a
// half-written file under its real name.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace nelvo::cryptoplugin {

class KeyStoreIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct NamedText {
    std::string name;
    std::string text;
};

// Creates the folder and any missing parents with mode 0700.
void EnsurePrivateDirectory(const std::filesystem::path& folder);

// Writes a file of mode 0600 next to its final name, syncs it and renames it into place.
void WritePrivateFileAtomically(const std::filesystem::path& file, std::string_view text);

// Builds a new folder with these files in a hidden temporary folder beside it and renames it
// into place. False when a folder of that name already holds something: nothing is replaced.
bool CreatePrivateFolderAtomically(const std::filesystem::path& folder,
                                   const std::vector<NamedText>& files);

// The whole file, or nothing when it does not exist. A file that exists but cannot be read
// is an error.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

}  // namespace nelvo::cryptoplugin
