#include "log/ICTracer.h"

#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kStampFormat = "[yyyy.mm.dd hh:nn:ss:zzz]";

}  // namespace

TICTracer::TICTracer(std::string logType, std::string id)
    : LogType_(std::move(logType)), ID_(std::move(id)), FullName_(GetLibFileName()) {
    Version_ = GetFileVersion(FullName_);
    BuildTime_ = FormatDateTime("yyyy.mm.dd hh:nn:ss", GetFileDateTime(FullName_));
    OnWriteHeader = [this](TQxLoger& sender, platform::File& stream) {
        WriteHeader(sender, stream);
    };
    OnError = [this](TQxLoger& sender, const std::exception& error) {
        WriteErrorLog(sender, error);
    };
}

void TICTracer::WriteData(const std::string& head, const std::string& body) {
    auto guard = Guard();
    if (!Active()) return;
    WriteBuffer(head);
    if (!body.empty()) {
        WriteBuffer(body);
        WriteBuffer(kCrLf);
    }
    Writer().Flush();
}

std::string TICTracer::CurrentFileName() const {
    auto guard = Guard();
    std::string name = Writer().CurFileName();
    return name.empty() ? FileName() : name;
}

// The texts are UTF-8 already, so the UTF8 flag needs no conversion here; without it the bytes
// go out as they are.
void TICTracer::WriteHeader(TQxLoger&, platform::File& stream) {
    const std::string text = GetHeaderText();
    const std::string line =
        FormatDateTime(kStampFormat, Now()) + "VersionInfo\\" + std::to_string(text.size()) + kCrLf;
    if (!stream.Write(line) || !stream.Write(text)) throw EQxLoger(platform::LastErrorMessage());
}

std::string TICTracer::GetHeaderText() const {
    return LogType_ + ":" + kCrLf +                   //
           "  LogType:      " + LogType_ + kCrLf +    //
           "  Full name:    " + FullName_ + kCrLf +   //
           "  Version:      " + Version_ + kCrLf +    //
           "  Build time:   " + BuildTime_ + kCrLf +  //
           "  ID:           " + ID_ + kCrLf;
}

std::string TPluginICTracer::GetHeaderText() const {
    return TICTracer::GetHeaderText() +                     //
           "  Host Name:    " + GetMachineName() + kCrLf +  //
           "  OS Version:   " + GetOSVersionText() + kCrLf;
}

std::string TICTracer::ErrorLogFileName() const {
    return ExpandConfigVars(PathJoin({"%Temp%", "Nelvo", ClassName(), "Error.log"}));
}

// The log itself is what failed, so the error file is the last word; a failure here has
// nowhere left to go.
void TICTracer::WriteErrorLog(TQxLoger&, const std::exception& error) {
    try {
        const std::string path = ErrorLogFileName();
        const std::string folder = ExtractFileDir(path);
        if (!folder.empty() && !platform::ForceDirectories(folder)) return;
        AppendLine(path, FormatDateTime(kStampFormat, Now()) + "->Error write to file \"" +
                             CurrentFileName() + "\" : " + error.what());
    } catch (...) {
    }
}

}  // namespace nelvo
