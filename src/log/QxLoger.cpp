#include "log/QxLoger.h"

#include <algorithm>

#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr const char* kDefaultFileName = "C:\\Log.log";

std::uint8_t RateFormat(const std::string& format) {
    const std::string upper = UpperCase(format);
    constexpr std::string_view letters = "YMDHNS";  // coarsest to finest
    for (std::size_t i = letters.size(); i > 0; --i)
        if (upper.find(letters[i - 1]) != std::string::npos) return static_cast<std::uint8_t>(i);
    return dpNone;
}

std::string DefaultFormatOf(const std::string& name) {
    if (SameText(name, "Date")) return DefaultDateFormat;
    if (SameText(name, "Time")) return DefaultTimeFormat;
    if (SameText(name, "DateTime")) return DefaultDateTimeFormat;
    return {};
}

// Log paths are case-sensitive where the file system is: "a.log" and "A.log" are two files.
bool SameFileName(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return SameText(a, b);
#else
    return a == b;
#endif
}

}  // namespace

std::uint8_t RateFileNamePattern(const std::string& pattern) {
    std::uint8_t finest = dpNone;
    std::size_t open = pattern.find('%');
    while (open != std::string::npos) {
        const std::size_t close = pattern.find('%', open + 1);
        if (close == std::string::npos) break;
        std::string format = pattern.substr(open + 1, close - open - 1);
        const std::string name = SplitFirst(format, "|");
        if (format.empty()) format = DefaultFormatOf(name);
        finest = std::max(finest, RateFormat(format));
        open = pattern.find('%', close + 1);
    }
    return finest;
}

TQxLoger::TQxLoger() : Writer_(std::make_unique<TQxLogerWriter>(*this)) {
    SetDefaults();
}

TQxLoger::~TQxLoger() {
    SetActive(false);
}

void TQxLoger::SetDefaults() {
    auto guard = Guard();
    FileName_ = kDefaultFileName;
    RetryCount_ = 5;
    RetryDelay_ = 500;
    UTF8_ = true;
    DeactivateOnError_ = true;
    SetActive(false);
    MaxDatePart_ = dpNone;
}

std::string TQxLoger::FileName() const {
    auto guard = Guard();
    return FileName_;
}

void TQxLoger::SetFileName(const std::string& pattern) {
    auto guard = Guard();
    if (SameFileName(pattern, FileName_)) return;
    FileName_ = pattern;
    Writer_->Restart();
    MaxDatePart_ = RateFileNamePattern(pattern);
}

std::uint8_t TQxLoger::MaxDatePart() const {
    auto guard = Guard();
    return MaxDatePart_;
}

int TQxLoger::RetryCount() const {
    auto guard = Guard();
    return RetryCount_;
}

void TQxLoger::SetRetryCount(int value) {
    auto guard = Guard();
    RetryCount_ = value;
}

int TQxLoger::RetryDelay() const {
    auto guard = Guard();
    return RetryDelay_;
}

void TQxLoger::SetRetryDelay(int value) {
    auto guard = Guard();
    RetryDelay_ = value;
}

bool TQxLoger::UTF8() const {
    auto guard = Guard();
    return UTF8_;
}

void TQxLoger::SetUTF8(bool value) {
    auto guard = Guard();
    UTF8_ = value;
}

bool TQxLoger::DeactivateOnError() const {
    auto guard = Guard();
    return DeactivateOnError_;
}

void TQxLoger::SetDeactivateOnError(bool value) {
    auto guard = Guard();
    DeactivateOnError_ = value;
}

void TQxLoger::WriteBuffer(const void* bytes, std::ptrdiff_t count) {
    if (count <= 0) return;
    auto guard = Guard();
    Buffer_.append(static_cast<const char*>(bytes), static_cast<std::size_t>(count));
}

void TQxLoger::WriteBuffer(std::string_view bytes) {
    WriteBuffer(bytes.data(), static_cast<std::ptrdiff_t>(bytes.size()));
}

std::string TQxLoger::ExpandFileName(const std::string& pattern) const {
    return ExpandConfigVars(pattern);
}

std::string TQxLoger::TakeBuffer() {
    auto guard = Guard();
    std::string bytes;
    bytes.swap(Buffer_);
    return bytes;
}

}  // namespace nelvo
