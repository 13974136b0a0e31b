// The file side of the logger: which file the next bytes go to, and how a write is retried.
#include <algorithm>

#include "log/QxLoger.h"
#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The part of a time that a pattern of the given granularity can tell apart.
TDateTime PeriodOf(const TDateTime& t, std::uint8_t part) {
    TDateTime period;
    if (part >= dpYear) period.year = t.year;
    if (part >= dpMonth) period.month = t.month;
    if (part >= dpDay) period.day = t.day;
    if (part >= dpHour) period.hour = t.hour;
    if (part >= dpMinute) period.minute = t.minute;
    if (part >= dpSecond) period.second = t.second;
    return period;
}

// A failure of the system inside one attempt, with the system's own text.
[[noreturn]] void RaiseLastError() {
    throw EQxLoger(platform::LastErrorMessage());
}

}  // namespace

TQxLogerWriter::TQxLogerWriter(TQxLoger& loger) : loger_(loger) {}

std::string TQxLogerWriter::CurFileName() const {
    auto guard = loger_.Guard();
    return CurFileName_;
}

bool TQxLogerWriter::NewFile() const {
    auto guard = loger_.Guard();
    return NewFile_;
}

void TQxLogerWriter::Restart() {
    auto guard = loger_.Guard();
    NewFile_ = true;
    CurFileName_.clear();
}

void TQxLogerWriter::Flush() {
    auto guard = loger_.Guard();
    Stream_ = loger_.TakeBuffer();
    // A record that waited for the lock while another thread's write failed for good must not
    // start a second round of retries on a switched-off logger.
    if (!loger_.Active()) Stream_.clear();
    if (!Stream_.empty()) WriteWithRetries();
}

// At least one attempt, and never a negative pause: a misconfigured count must not drop
// records without a word to the owner.
bool TQxLogerWriter::WriteWithRetries() {
    const int attempts = std::max(loger_.RetryCount(), 1);
    const int delay = std::max(loger_.RetryDelay(), 0);
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        try {
            WriteToFile();
            return true;
        } catch (const std::exception& error) {
            if (attempt == attempts) {
                HandleError(error);
                break;
            }
            platform::SleepMs(delay);
            NewFile_ = true;
        }
    }
    return false;
}

void TQxLogerWriter::WriteToFile() {
    const std::string name = ChooseFileName();
    const bool isNew = IsEmptyFile(name);
    if (isNew) {
        const std::string folder = ExcludeTrailingPathDelimiter(ExtractFileDir(name));
        if (!folder.empty() && !platform::ForceDirectories(folder))
            throw EQxLoger("Error create directory \"" + folder +
                           "\" : " + platform::LastErrorMessage());
    }
    try {
        platform::File file;
        WriteStream(file, name, isNew);
    } catch (const std::exception& error) {
        throw EQxLoger("Error write to file \"" + name + "\": " + error.what());
    }
}

void TQxLogerWriter::WriteStream(platform::File& file, const std::string& name, bool isNew) {
    const auto mode = isNew ? platform::File::Mode::Create : platform::File::Mode::Write;
    if (!file.Open(name, mode)) RaiseLastError();
    if (!isNew && !file.SeekToEnd()) RaiseLastError();
    if (isNew) {
        if (loger_.UTF8() && !file.Write(kBom)) RaiseLastError();
        if (loger_.OnWriteHeader) loger_.OnWriteHeader(loger_, file);
    }
    if (!file.Write(Stream_)) RaiseLastError();
    Stream_.clear();
    file.Close();
}

// The name is decided afresh for a new run or after a failed attempt, and whenever the part of
// the time that the pattern names has moved on. Within one period the current file is kept:
// deciding again would find it with content and split the period into one file per record.
std::string TQxLogerWriter::ChooseFileName() {
    struct DecisionTaken {
        bool& newFile;
        ~DecisionTaken() { newFile = false; }
    } decisionTaken{NewFile_};

    const std::uint8_t part = loger_.MaxDatePart();
    const TDateTime period = PeriodOf(Now(), part);
    if (!NewFile_ && !CurFileName_.empty() && (part == dpNone || period == LastPeriod_))
        return CurFileName_;

    std::string name = loger_.ExpandFileName(loger_.FileName());
    if (!IsEmptyFile(name)) name = GetUniqueFileName(name);
    CurFileName_ = name;
    LastPeriod_ = period;
    return CurFileName_;
}

void TQxLogerWriter::HandleError(const std::exception& error) {
    // Switched off also when the handler itself fails; its error then goes to the caller.
    struct SwitchOff {
        TQxLoger& loger;
        ~SwitchOff() {
            if (loger.DeactivateOnError()) loger.SetActive(false);
        }
    } switchOff{loger_};
    if (loger_.OnError) loger_.OnError(loger_, error);
}

}  // namespace nelvo
