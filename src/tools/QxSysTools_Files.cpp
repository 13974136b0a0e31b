// Program and module paths, file-name parts, small file helpers and the settings-file rule.
#include "platform/Platform.h"
#include "tools/QxIniFile.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kLongPathPrefix = "\\\\?\\";

std::string SystemPath(std::string path) {
    path = Trim(path);
    if (path.starts_with(kLongPathPrefix)) path.erase(0, kLongPathPrefix.size());
    return path;
}

std::size_t LastDelimiter(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (platform::IsPathDelimiter(path[i - 1])) return i - 1;
    return std::string::npos;
}

}  // namespace

std::string GetExeFileName() {
    return SystemPath(platform::ExeFilePath());
}

std::string GetLibFileName() {
    return SystemPath(platform::ModuleFilePath(reinterpret_cast<const void*>(&GetLibFileName)));
}

std::string GetLoadedModuleFileName(const std::string& moduleName) {
    return Trim(platform::LoadedModulePath(moduleName));
}

std::string GetMachineName() {
    return platform::ComputerName();
}

std::string ExtractFilePath(const std::string& path) {
    const std::size_t at = LastDelimiter(path);
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string ExtractFileDir(const std::string& path) {
    const std::size_t at = LastDelimiter(path);
    if (at == std::string::npos) return {};
    return at == 0 ? path.substr(0, 1) : path.substr(0, at);
}

std::string ExtractFileName(const std::string& path) {
    const std::size_t at = LastDelimiter(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string ExtractFileExt(const std::string& path) {
    const std::string name = ExtractFileName(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    const std::string ext0 = ExtractFileExt(path);
    return path.substr(0, path.size() - ext0.size()) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& folder) {
    if (!folder.empty() && platform::IsPathDelimiter(folder.back())) return folder;
    return folder + platform::PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& folder) {
    if (folder.size() > 1 && platform::IsPathDelimiter(folder.back()))
        return folder.substr(0, folder.size() - 1);
    return folder;
}

std::string PathJoin(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const auto part : parts) {
        if (part.empty()) continue;
        if (!out.empty()) out = IncludeTrailingPathDelimiter(out);
        out += part;
    }
    return out;
}

std::string ChangeFilePath(const std::string& fileName, const std::string& folder) {
    return IncludeTrailingPathDelimiter(folder) + ExtractFileName(fileName);
}

std::string FindFileOnSearchPath(const std::string& fileName) {
    return platform::SearchFile(fileName);
}

std::string GetFileVersion(const std::string& path) {
    return platform::ReadFileVersionRecord(path).value_or("0.0.0.0");
}

int SkipBOM(platform::File& stream) {
    const std::int64_t position = stream.Position();
    char head[3] = {};
    if (stream.Size() >= 3 && stream.Seek(0) && stream.Read(head, 3) == 3 &&
        std::string_view(head, 3) == kBom)
        return 3;
    stream.Seek(position);
    return 0;
}

// A file that exists but cannot be read counts as having content: treating it as empty would
// let a writer truncate what it cannot see.
bool IsEmptyFile(const std::string& path) {
    if (!platform::FileExists(path)) return true;
    platform::File file;
    if (!file.Open(path, platform::File::Mode::Read)) return false;
    const std::int64_t size = file.Size();
    if (size == 0) return true;
    return size == 3 && SkipBOM(file) == 3;
}

void AppendToFile(const std::string& path, const void* bytes, std::size_t count, bool replace) {
    if (replace && platform::FileExists(path)) platform::DeleteFileAt(path);
    platform::File file;
    if (platform::FileExists(path)) {
        if (!file.Open(path, platform::File::Mode::Write) || !file.SeekToEnd())
            throw EFileError("Cannot open file \"" + path + "\". " + platform::LastErrorMessage());
    } else {
        const std::string folder = ExtractFileDir(path);
        if (!folder.empty()) platform::ForceDirectories(folder);
        if (!file.Open(path, platform::File::Mode::Create))
            throw EFileError("Cannot create file \"" + path + "\". " +
                             platform::LastErrorMessage());
    }
    if (!file.Write(bytes, count))
        throw EFileError("Cannot write file \"" + path + "\". " + platform::LastErrorMessage());
}

void AppendLine(const std::string& path, const std::string& text) {
    AppendToFile(path, text.data(), text.size(), false);
    AppendToFile(path, "\r\n", 2, false);
}

std::string GetUniqueFileName(const std::string& path) {
    auto taken = [](const std::string& p) {
        return platform::FileExists(p) || platform::DirectoryExists(p);
    };
    if (!taken(path)) return path;
    const std::string ext = ExtractFileExt(path);
    const std::string stem = path.substr(0, path.size() - ext.size());
    for (int n = 1;; ++n) {
        std::string candidate = stem + "_" + std::to_string(n) + ext;
        if (!taken(candidate)) return candidate;
    }
}

std::string GetHostIniFileName() {
    const std::string beside = ChangeFileExt(GetExeFileName(), ".ini");
    if (platform::FileExists(beside)) return beside;
    return PathJoin(
        {ExpandConfigVars("%AppData%"), "Nelvo", "NelvoPlugin", ExtractFileName(beside)});
}

std::string ReadIniString(const std::string& iniPath, const std::string& section,
                          const std::string& key, const std::string& defaultValue) {
    try {
        return TMemIniFile(iniPath).ReadString(section, key, defaultValue);
    } catch (...) {
        return defaultValue;
    }
}

}  // namespace nelvo
