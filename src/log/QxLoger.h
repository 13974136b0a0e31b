// Logger core: takes the bytes of one record at a time and puts them into a log file whose name
// comes from a pattern (a new name when the date changes, when a run starts on a file with
// content, or when the current file cannot be written), with retries and a switch-off after the
// final failure. Writing happens synchronously in the logging thread, under the logger's lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "log/QxThreads.h"
#include "platform/File.h"
#include "tools/QxValues.h"

namespace nelvo {

// Raised by the writer for a failed attempt; the owner sees it in OnError.
class EQxLoger : public Exception {
public:
    using Exception::Exception;
};

// The finest date or time part a file-name pattern names.
enum TQxDatePart : std::uint8_t {
    dpNone = 0,
    dpYear = 1,
    dpMonth = 2,
    dpDay = 3,
    dpHour = 4,
    dpMinute = 5,
    dpSecond = 6,
};

// Rates the formats of every %name|format% token of a pattern (Date, Time and DateTime without
// a format count with their default format) and answers the finest part any of them names.
std::uint8_t RateFileNamePattern(const std::string& pattern);

class TQxLoger;

// Decides the file and writes the pending bytes into it. Every member runs under the lock of
// its logger.
class TQxLogerWriter : public TObject {
public:
    explicit TQxLogerWriter(TQxLoger& loger);

    // Moves the logger's buffer into the file; the owner calls it after each record.
    void Flush();

    std::string CurFileName() const;
    bool NewFile() const;
    // Forget the current file: the next write decides the name afresh.
    void Restart();

private:
    bool WriteWithRetries();
    void WriteToFile();
    void WriteStream(platform::File& file, const std::string& name, bool isNew);
    std::string ChooseFileName();
    void HandleError(const std::exception& error);

    TQxLoger& loger_;
    TDateTime LastPeriod_;  // the date part the current name was decided for
    bool NewFile_ = true;
    std::string CurFileName_;
    std::string Stream_;  // bytes of the write in progress; kept after a failed attempt
};

class TQxLoger : public TQxThreadSafetyClass {
public:
    using TErrorEvent = std::function<void(TQxLoger& sender, const std::exception& error)>;
    using THeaderEvent = std::function<void(TQxLoger& sender, platform::File& stream)>;

    TQxLoger();
    ~TQxLoger() override;

    // Called with the final error of a flush, after the last attempt.
    TErrorEvent OnError;
    // Called for every new file, after the byte-order mark; an error fails the attempt.
    THeaderEvent OnWriteHeader;

    std::string FileName() const;
    void SetFileName(const std::string& pattern);
    bool Active() const { return Active_.load(); }
    void SetActive(bool value) { Active_.store(value); }
    std::uint8_t MaxDatePart() const;
    int RetryCount() const;
    void SetRetryCount(int value);
    int RetryDelay() const;  // milliseconds
    void SetRetryDelay(int value);
    bool UTF8() const;
    void SetUTF8(bool value);
    bool DeactivateOnError() const;
    void SetDeactivateOnError(bool value);

    TQxLogerWriter& Writer() { return *Writer_; }
    const TQxLogerWriter& Writer() const { return *Writer_; }

    // Appends bytes to the buffer; the caller holds the lock from the first WriteBuffer of a
    // record to the end of Flush, so records of different threads never mix.
    virtual void WriteBuffer(const void* bytes, std::ptrdiff_t count);
    void WriteBuffer(std::string_view bytes);
    virtual void SetDefaults();
    virtual std::string ExpandFileName(const std::string& pattern) const;

private:
    friend class TQxLogerWriter;
    std::string TakeBuffer();

    std::uint8_t MaxDatePart_ = dpNone;
    std::atomic<bool> Active_ = false;
    std::string FileName_;
    int RetryCount_ = 5;
    int RetryDelay_ = 500;
    bool UTF8_ = true;
    bool DeactivateOnError_ = true;
    std::unique_ptr<TQxLogerWriter> Writer_;
    std::string Buffer_;
};

}  // namespace nelvo
