#include "tools/QxIniFile.h"

// Header-only and in byte mode: names and values stay the bytes of the file, whatever their
// encoding. Debian's header keeps the template bodies behind SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <string_view>
#include <vector>

#include "platform/File.h"
#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
// A settings file is a few hundred bytes; anything past this is not ours to load.
constexpr std::size_t kMaxIniBytes = 16u << 20;
#ifdef _WIN32
constexpr std::string_view kNativeLineBreak = "\r\n";
#else
constexpr std::string_view kNativeLineBreak = "\n";
#endif

bool IsIniSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsCommentChar(char c) {
    return c == ';' || c == '#';
}

bool IsBlankLine(std::string_view line) {
    for (char c : line)
        if (!IsIniSpace(c)) return false;
    return true;
}

bool IsCommentLine(std::string_view line) {
    for (char c : line)
        if (!IsIniSpace(c)) return IsCommentChar(c);
    return false;
}

// Lines without their breaks; CR LF, LF and a lone CR all end a line, as the parser reads them.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The parser ties a comment to the entry that follows it, so comments after the last entry
// would be lost on save. They are kept aside here and written back at the end. A file of
// comments only keeps its first block of comment lines itself (as the file comment).
std::string LostTail(std::string_view body) {
    const std::vector<std::string_view> lines = SplitLines(body);
    std::size_t first = lines.size();
    while (first > 0 && (IsBlankLine(lines[first - 1]) || IsCommentLine(lines[first - 1]))) --first;
    if (first == 0)
        while (first < lines.size() && !lines[first].empty() && IsCommentChar(lines[first][0]))
            ++first;
    std::size_t last = lines.size();
    while (first < last && IsBlankLine(lines[first])) ++first;
    while (last > first && IsBlankLine(lines[last - 1])) --last;
    std::string tail;
    for (std::size_t i = first; i < last; ++i) {
        tail.append(lines[i]);
        tail += '\n';
    }
    return tail;
}

std::string_view DetectLineBreak(std::string_view body) {
    const std::size_t lf = body.find('\n');
    if (lf != std::string_view::npos) return lf > 0 && body[lf - 1] == '\r' ? "\r\n" : "\n";
    return kNativeLineBreak;
}

// Every line break of the text ("\n" or "\r\n") becomes the given one.
std::string WithLineBreaks(std::string_view text, std::string_view lineBreak) {
    std::string result;
    result.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\n')
            result.append(lineBreak);
        else
            result += text[i];
    }
    return result;
}

bool HasLineBreakOrZero(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void CheckWritable(const std::string& section, const std::string& key, const std::string& value) {
    if (HasLineBreakOrZero(section) || HasLineBreakOrZero(key) || HasLineBreakOrZero(value) ||
        section.find(']') != std::string::npos || key.find('=') != std::string::npos || key.empty())
        throw EFileError("Cannot write INI entry [" + section + "] " + key +
                         ": the name or value cannot be stored in an INI file");
}

// Written beside the target and renamed over it, so a failing disk never leaves half a file.
void WriteFileAtomically(const std::string& fileName, std::string_view bytes) {
    const std::string temp = fileName + ".tmp";
    platform::File file;
    if (!file.Open(temp, platform::File::Mode::Create) || !file.Write(bytes) || !file.Flush()) {
        const std::string reason = platform::LastErrorMessage();
        const bool created = file.IsOpen();
        file.Close();
        if (created) platform::DeleteFileAt(temp);
        throw EFileError("Cannot create file \"" + fileName + "\". " + reason);
    }
    file.Close();
    if (!platform::RenameFile(temp, fileName)) {
        const std::string reason = platform::LastErrorMessage();
        platform::DeleteFileAt(temp);
        throw EFileError("Cannot create file \"" + fileName + "\". " + reason);
    }
}

}  // namespace

struct TMemIniFile::Impl {
    // Byte mode: names and values are kept as the bytes of the file, whatever their encoding.
    CSimpleIniA ini{false, false, false};
    std::string syncedBody;  // the file as read or last written, without the byte-order mark
    std::string tail;        // comments after the last entry
    std::string lineBreak{kNativeLineBreak};
    bool hasBom = false;
    bool unreadable = false;
    bool modified = false;

    void Load(std::string body) {
        ini.Reset();
        ini.SetSpaces(false);
        tail = LostTail(body);
        lineBreak = DetectLineBreak(body);
        if (ini.LoadData(body) < 0) {
            ini.Reset();
            unreadable = true;
        }
        syncedBody = std::move(body);
        modified = false;
    }

    std::string Compose(const std::string& fileName) const {
        std::string text;
        if (ini.Save(text) < 0) throw EFileError("Cannot format INI file \"" + fileName + "\"");
        if (!tail.empty()) {
            if (!text.empty()) text += text.ends_with('\n') ? "\n" : "\n\n";
            text += tail;
        }
        return WithLineBreaks(text, lineBreak);
    }
};

TMemIniFile::TMemIniFile(std::string fileName)
    : fileName_(std::move(fileName)), impl_(std::make_unique<Impl>()) {
    impl_->ini.SetSpaces(false);
    std::string data;
    if (!platform::ReadWholeFile(fileName_, data, kMaxIniBytes)) {
        impl_->unreadable = platform::FileExists(fileName_);
        return;
    }
    // A zero byte means this is no INI text of ours (UTF-16, a binary): the parser would stop
    // at it and a save would cut the file there.
    if (data.find('\0') != std::string::npos) {
        impl_->unreadable = true;
        return;
    }
    if (data.starts_with(kBom)) {
        impl_->hasBom = true;
        data.erase(0, kBom.size());
    }
    impl_->Load(std::move(data));
}

TMemIniFile::~TMemIniFile() = default;

bool TMemIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    const char* value = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return value ? std::string(value) : defaultValue;
}

std::int32_t TMemIniFile::ReadInteger(const std::string& section, const std::string& key,
                                      std::int32_t defaultValue) const {
    std::int32_t value = 0;
    return TryStrToInt(Trim(ReadString(section, key, {})), value) ? value : defaultValue;
}

bool TMemIniFile::ReadBool(const std::string& section, const std::string& key,
                           bool defaultValue) const {
    const std::string value = ReadString(section, key, {});
    return value.empty() ? defaultValue : value[0] == '1';
}

void TMemIniFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    const char* current = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (current && value == current) return;
    CheckWritable(section, key, value);
    if (impl_->ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0)
        throw EFileError("Cannot write INI entry [" + section + "] " + key);
    impl_->modified = true;
}

void TMemIniFile::WriteInteger(const std::string& section, const std::string& key,
                               std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

bool TMemIniFile::Modified() const {
    return impl_->modified;
}

void TMemIniFile::Revert() {
    if (!impl_->modified) return;
    if (impl_->unreadable) {
        impl_->ini.Reset();
        impl_->modified = false;
        return;
    }
    impl_->Load(impl_->syncedBody);
}

void TMemIniFile::UpdateFile() {
    if (!impl_->modified) return;
    if (impl_->unreadable)
        throw EFileError("Cannot update file \"" + fileName_ +
                         "\": it exists but could not be read, and is left as it is");
    std::string body = impl_->Compose(fileName_);
    WriteFileAtomically(fileName_, impl_->hasBom ? std::string(kBom) + body : body);
    impl_->syncedBody = std::move(body);
    impl_->modified = false;
}

}  // namespace nelvo
