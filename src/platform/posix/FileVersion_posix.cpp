// Reads the version record back from an ELF file: section headers, their name table, then the
// notes of the ".note.nelvo.version" section. The file is outside input: every offset and size
// is checked against the file before it is used.
#include <cstring>

#include "platform/File.h"
#include "platform/Platform.h"

namespace nelvo::platform {

namespace {

constexpr const char* kSectionName = ".note.nelvo.version";
constexpr const char* kNoteOwner = "Nelvo";
constexpr std::uint32_t kNoteType = 1;
constexpr std::uint64_t kMaxSectionBytes = 4096;

class ElfReader {
public:
    explicit ElfReader(File& file) : file_(file), size_(static_cast<std::uint64_t>(file.Size())) {}

    std::optional<std::string> Version() {
        unsigned char ident[16];
        if (!ReadAt(0, ident, sizeof ident)) return std::nullopt;
        if (std::memcmp(ident,
                        "\x7F"
                        "ELF",
                        4) != 0)
            return std::nullopt;
        if (ident[4] != 1 && ident[4] != 2) return std::nullopt;
        if (ident[5] != 1 && ident[5] != 2) return std::nullopt;
        is64_ = ident[4] == 2;
        little_ = ident[5] == 1;

        const std::uint64_t shoff = is64_ ? U64(0x28) : U32(0x20);
        const std::uint64_t shentsize = U16(is64_ ? 0x3A : 0x2E);
        const std::uint64_t shnum = U16(is64_ ? 0x3C : 0x30);
        const std::uint64_t shstrndx = U16(is64_ ? 0x3E : 0x32);
        if (!ok_ || shoff == 0 || shnum == 0 || shstrndx >= shnum) return std::nullopt;
        if (shentsize < (is64_ ? 64u : 40u)) return std::nullopt;
        if (shoff > size_ || shnum * shentsize > size_ - shoff) return std::nullopt;

        const Section names = SectionAt(shoff + shstrndx * shentsize);
        if (!ok_ || names.offset > size_ || names.size > size_ - names.offset) return std::nullopt;
        for (std::uint64_t i = 0; i < shnum; ++i) {
            const std::uint64_t header = shoff + i * shentsize;
            const std::uint32_t nameIndex = U32(header);
            if (!ok_ || nameIndex >= names.size) return std::nullopt;
            if (!NameIs(names.offset + nameIndex, kSectionName)) continue;
            return NoteText(SectionAt(header));
        }
        return std::nullopt;
    }

private:
    struct Section {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
    };

    bool ReadAt(std::uint64_t offset, void* out, std::size_t count) {
        if (offset > size_ || count > size_ - offset) return ok_ = false;
        if (!file_.Seek(static_cast<std::int64_t>(offset))) return ok_ = false;
        if (file_.Read(out, count) != static_cast<std::int64_t>(count)) return ok_ = false;
        return true;
    }

    std::uint64_t Unsigned(std::uint64_t offset, std::size_t bytes) {
        unsigned char raw[8] = {};
        if (!ReadAt(offset, raw, bytes)) return 0;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            const std::size_t index = little_ ? bytes - 1 - i : i;
            value = (value << 8) | raw[index];
        }
        return value;
    }
    std::uint64_t U16(std::uint64_t offset) { return Unsigned(offset, 2); }
    std::uint32_t U32(std::uint64_t offset) {
        return static_cast<std::uint32_t>(Unsigned(offset, 4));
    }
    std::uint64_t U64(std::uint64_t offset) { return Unsigned(offset, 8); }

    Section SectionAt(std::uint64_t header) {
        if (is64_) return {U64(header + 0x18), U64(header + 0x20)};
        return {U32(header + 0x10), U32(header + 0x14)};
    }

    bool NameIs(std::uint64_t offset, const char* wanted) {
        const std::size_t length = std::strlen(wanted) + 1;
        char buffer[64] = {};
        if (offset > size_ || length > size_ - offset) return false;
        return ReadAt(offset, buffer, length) && std::memcmp(buffer, wanted, length) == 0;
    }

    std::optional<std::string> NoteText(Section section) {
        if (!ok_ || section.size > kMaxSectionBytes) return std::nullopt;
        std::string bytes(section.size, '\0');
        if (!ReadAt(section.offset, bytes.data(), bytes.size())) return std::nullopt;
        std::size_t pos = 0;
        auto word = [&](std::size_t at) {
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < 4; ++i) {
                const std::size_t index = little_ ? at + 3 - i : at + i;
                value = (value << 8) | static_cast<unsigned char>(bytes[index]);
            }
            return value;
        };
        auto padded = [](std::uint64_t n) { return (n + 3) & ~std::uint64_t{3}; };
        while (pos + 12 <= bytes.size()) {
            const std::uint64_t nameSize = word(pos), descSize = word(pos + 4);
            const std::uint32_t type = word(pos + 8);
            const std::uint64_t nameAt = pos + 12, descAt = nameAt + padded(nameSize);
            if (descAt > bytes.size() || padded(descSize) > bytes.size() - descAt) break;
            const std::string owner(bytes.c_str() + nameAt,
                                    strnlen(bytes.c_str() + nameAt, nameSize));
            if (owner == kNoteOwner && type == kNoteType) {
                std::string text(bytes.c_str() + descAt, strnlen(bytes.c_str() + descAt, descSize));
                if (!text.empty()) return text;
            }
            pos = descAt + padded(descSize);
        }
        return std::nullopt;
    }

    File& file_;
    std::uint64_t size_;
    bool is64_ = true;
    bool little_ = true;
    bool ok_ = true;
};

}  // namespace

std::optional<std::string> ReadFileVersionRecord(const std::string& path) {
    File file;
    if (!file.Open(path, File::Mode::Read) || file.Size() <= 0) return std::nullopt;
    return ElfReader(file).Version();
}

}  // namespace nelvo::platform
