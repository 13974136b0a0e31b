#include "support/E2eLog.h"

#include <algorithm>
#include <regex>

#include "support/E2eFiles.h"
#include "support/E2eHost.h"

namespace e2e {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
const char* const kTime = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d:\d{3})";

std::string At(size_t offset, const std::string& what) {
    return "at byte " + std::to_string(offset) + ": " + what;
}

// One record from pos; false (with the error set) when the bytes are not a whole record.
bool ParseRecord(const std::string& bytes, size_t& pos, LogRecord& record, std::string& error) {
    static const std::regex head(std::string(R"(^\[()") + kTime +
                                 R"()\](?:\[TraceID: (.*?)\])?\[ThreadID: 0x([0-9A-F]{4,})\])"
                                 R"(\[DataID: (.*?)\]\[ObjectInfo: (.*?)\](\d*)$)");
    const size_t eol = bytes.find("\r\n", pos);
    if (eol == std::string::npos) {
        error = At(pos, "record head without CR LF");
        return false;
    }
    const std::string line = bytes.substr(pos, eol - pos);
    std::smatch m;
    if (!std::regex_match(line, m, head)) {
        error = At(pos, "malformed record head: " + line.substr(0, 200));
        return false;
    }
    record.time = m[1];
    record.traceId = m[2];
    record.threadId = m[3];
    record.dataId = m[4];
    record.objectInfo = m[5];
    pos = eol + 2;
    if (m[6].length() == 0) return true;
    const size_t length = std::stoul(m[6].str());
    if (pos + length + 2 > bytes.size() || bytes.compare(pos + length, 2, "\r\n") != 0) {
        error = At(pos, "body of " + std::to_string(length) + " bytes not followed by CR LF");
        return false;
    }
    record.body = bytes.substr(pos, length);
    pos += length + 2;
    return true;
}

}  // namespace

std::string LogRecord::Value() const {
    static const std::regex multiLine(R"(^Value:#0\\(\d+)\r\n)");
    std::smatch m;
    if (std::regex_search(body, m, multiLine))
        return body.substr(static_cast<size_t>(m.length(0)), std::stoul(m[1].str()));
    if (body.rfind("Value: ", 0) != 0) return {};
    const size_t eol = body.find("\r\n");
    return body.substr(7, eol == std::string::npos ? std::string::npos : eol - 7);
}

ParsedLog ParseLog(const std::string& bytes) {
    ParsedLog log;
    size_t pos = 0;
    log.bom = bytes.rfind(kBom, 0) == 0;
    if (!log.bom) {
        log.error = At(0, "no UTF-8 byte-order mark");
        return log;
    }
    pos = 3;
    static const std::regex versionInfo(std::string(R"(^\[()") + kTime +
                                        R"()\]VersionInfo\\(\d+)\r\n)");
    std::smatch m;
    const std::string rest = bytes.substr(pos, 256);
    if (!std::regex_search(rest, m, versionInfo)) {
        log.error = At(pos, "no VersionInfo line");
        return log;
    }
    log.headerTime = m[1];
    pos += static_cast<size_t>(m.length(0));
    const size_t headerLength = std::stoul(m[2].str());
    if (pos + headerLength > bytes.size()) {
        log.error = At(pos, "header text shorter than announced");
        return log;
    }
    log.headerText = bytes.substr(pos, headerLength);
    pos += headerLength;
    while (pos < bytes.size()) {
        LogRecord record;
        if (!ParseRecord(bytes, pos, record, log.error)) return log;
        log.records.push_back(std::move(record));
    }
    return log;
}

std::vector<LogRecord> ReadLogRecords(const std::string& dir) {
    std::vector<LogRecord> all;
    for (const auto& name : ListDir(dir)) {
        ParsedLog log = ParseLog(ReadFile(dir + "/" + name));
        for (auto& r : log.records) all.push_back(std::move(r));
    }
    return all;
}

bool WaitForLog(const std::string& dir, const std::function<bool(const LogRecord&)>& condition,
                std::chrono::milliseconds timeout) {
    return WaitFor(
        [&] {
            for (const auto& r : ReadLogRecords(dir))
                if (condition(r)) return true;
            return false;
        },
        timeout, 50ms);
}

bool WaitForMessage(const std::string& dir, const std::string& message,
                    std::chrono::milliseconds timeout) {
    return WaitForLog(
        dir, [&](const LogRecord& r) { return r.Value().rfind(message, 0) == 0; }, timeout);
}

int FindMessage(const std::vector<LogRecord>& records, const std::string& prefix, int from) {
    for (int i = std::max(from, 0); i < static_cast<int>(records.size()); ++i)
        if (records[static_cast<size_t>(i)].Value().rfind(prefix, 0) == 0) return i;
    return -1;
}

int CountMessages(const std::vector<LogRecord>& records, const std::string& prefix) {
    int count = 0;
    for (const auto& r : records)
        if (r.Value().rfind(prefix, 0) == 0) ++count;
    return count;
}

}  // namespace e2e
