// Helpers shared by the log tests: a fixed clock, a host log that reads a given settings file,
// and a reader that splits a log file into its header and records by their length fields.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "log/U_LogFile.h"
#include "tools/QxSysTools.h"

namespace nelvo::test {

inline constexpr const char* kBom = "\xEF\xBB\xBF";

inline TDateTime At(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
    return {year, month, day, hour, minute, second, ms};
}

// Replaces the clock for the lifetime of the object.
class FixedClock {
public:
    explicit FixedClock(TDateTime now) { Set(now); }
    ~FixedClock() { SetNowFunction({}); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
    void Set(TDateTime now) {
        SetNowFunction([now] { return now; });
    }
};

// A host log configured from the given settings file, with the record call that the public
// calls do not reach.
class TTestHostLoger : public THostLoger {
public:
    explicit TTestHostLoger(std::string iniFileName) : ini_(std::move(iniFileName)) {}
    using TQxPluginLogerBase::Trace;

protected:
    std::string GetIniFileName() const override { return ini_; }

private:
    std::string ini_;
};

struct ParsedRecord {
    std::string head;  // without its line break
    std::string body;
};

struct ParsedLog {
    bool ok = false;
    std::string error;
    std::string headerText;
    std::vector<ParsedRecord> records;
};

// Reads a log file the way a viewer would: byte-order mark, the header line with the length of
// the header text, then records whose head line ends with the length of their body.
inline ParsedLog ParseLog(const std::string& bytes) {
    ParsedLog log;
    auto fail = [&log](std::string why) {
        log.error = std::move(why);
        return log;
    };
    if (bytes.rfind(kBom, 0) != 0) return fail("no byte-order mark");
    std::size_t pos = 3;
    const std::size_t headerEnd = bytes.find("\r\n", pos);
    const std::size_t slash = bytes.rfind("VersionInfo\\", headerEnd);
    if (headerEnd == std::string::npos || slash == std::string::npos || slash < pos)
        return fail("no header line");
    const std::size_t headerLength = std::stoul(bytes.substr(slash + 12, headerEnd - slash - 12));
    log.headerText = bytes.substr(headerEnd + 2, headerLength);
    pos = headerEnd + 2 + headerLength;
    while (pos < bytes.size()) {
        const std::size_t lineEnd = bytes.find("\r\n", pos);
        if (lineEnd == std::string::npos) return fail("head line without line break");
        ParsedRecord record{bytes.substr(pos, lineEnd - pos), {}};
        pos = lineEnd + 2;
        const std::string length = record.head.substr(record.head.rfind(']') + 1);
        if (!length.empty()) {
            const std::size_t bodyLength = std::stoul(length);
            if (pos + bodyLength + 2 > bytes.size() ||
                bytes.compare(pos + bodyLength, 2, "\r\n") != 0)
                return fail("body not closed by a line break: " + record.head);
            record.body = bytes.substr(pos, bodyLength);
            pos += bodyLength + 2;
        }
        log.records.push_back(std::move(record));
    }
    log.ok = true;
    return log;
}

}  // namespace nelvo::test
