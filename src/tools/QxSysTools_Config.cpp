// Configuration variables: %NAME% and %NAME|format% in paths and file names.
#include <array>

#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

struct ConfigVarName {
    TConfigVarParam param;
    const char* name;
};

constexpr std::array<ConfigVarName, 13> kConfigVars = {{
    {TConfigVarParam::cvpPID, "PID"},
    {TConfigVarParam::cvpDate, "Date"},
    {TConfigVarParam::cvpTime, "Time"},
    {TConfigVarParam::cvpDateTime, "DateTime"},
    {TConfigVarParam::cvpExeName, "ExeName"},
    {TConfigVarParam::cvpMachineName, "MachineName"},
    {TConfigVarParam::cvpLibName, "LibName"},
    {TConfigVarParam::cvpFullExeName, "FullExeName"},
    {TConfigVarParam::cvpFullLibName, "FullLibName"},
    {TConfigVarParam::cvpDocuments, "Documents"},
    {TConfigVarParam::cvpLibrary, "Library"},
    {TConfigVarParam::cvpPublic, "Public"},
    {TConfigVarParam::cvpDownloads, "Downloads"},
}};

std::string DateVar(const std::string& format, const char* defaultFormat) {
    return FormatDateTime(format.empty() ? defaultFormat : format, Now());
}

// "Dir" selects the folder; a fourth character "\" keeps its trailing delimiter.
std::string PathVar(const std::string& path, const std::string& format) {
    if (format.size() < 3 || !SameText(format.substr(0, 3), "Dir")) return path;
    const bool keepDelimiter = format.size() >= 4 && (format[3] == '\\' || format[3] == '/');
    return keepDelimiter ? ExtractFilePath(path) : ExtractFileDir(path);
}

std::string NameWithoutExt(const std::string& path) {
    return ChangeFileExt(ExtractFileName(path), "");
}

}  // namespace

std::string GetConfigVar(const std::string& token) {
    std::string format = token;
    const std::string name = SplitFirst(format, "|");
    for (const auto& var : kConfigVars) {
        if (!SameText(name, var.name)) continue;
        switch (var.param) {
            case TConfigVarParam::cvpPID:
                return std::to_string(platform::CurrentProcessId());
            case TConfigVarParam::cvpDate:
                return DateVar(format, DefaultDateFormat);
            case TConfigVarParam::cvpTime:
                return DateVar(format, DefaultTimeFormat);
            case TConfigVarParam::cvpDateTime:
                return DateVar(format, DefaultDateTimeFormat);
            case TConfigVarParam::cvpExeName:
                return NameWithoutExt(GetExeFileName());
            case TConfigVarParam::cvpMachineName:
                return GetMachineName();
            case TConfigVarParam::cvpLibName:
                return NameWithoutExt(GetLibFileName());
            case TConfigVarParam::cvpFullExeName:
                return PathVar(GetExeFileName(), format);
            case TConfigVarParam::cvpFullLibName:
                return PathVar(GetLibFileName(), format);
            default:
                break;  // the folders without a built-in value come from the environment
        }
        break;
    }
    std::string reference(1, '%');
    reference.append(name).push_back('%');
    return ExpandEnvVars(reference);
}

std::string ExpandConfigVars(const std::string& text) {
    std::string out;
    std::string token;
    bool pending = false;
    for (const char c : text) {
        if (c == '%') {
            if (pending) {
                out += GetConfigVar(token.substr(1));
                token.clear();
                pending = false;
            } else {
                token.assign(1, '%');
                pending = true;
            }
        } else if (pending) {
            token += c;
        } else {
            out += c;
        }
    }
    out += token;
    return out;
}

std::string ExpandEnvVars(const std::string& text) {
    return platform::ExpandEnvironmentText(text);
}

}  // namespace nelvo
