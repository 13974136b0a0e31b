// Reading the program's log file strictly: byte-order mark, header block, then records whose
// stated lengths must match exactly. Any record torn by another thread's write shows up as a
// parse error.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

struct LogRecord {
    std::string time;      // yyyy.mm.dd hh:nn:ss:zzz
    std::string traceId;   // empty without an object
    std::string threadId;  // upper-case hexadecimal after "0x"
    std::string dataId;    // "Message", "Error", "StartExecFunction x", ...
    std::string objectInfo;
    std::string body;  // without the closing CR LF

    // The "Value" entry of a message or error record: the message text.
    std::string Value() const;
    bool IsError() const { return dataId == "Error"; }
};

struct ParsedLog {
    bool bom = false;
    std::string headerTime;
    std::string headerText;  // exactly the bytes the VersionInfo line announced
    std::vector<LogRecord> records;
    std::string error;  // first structural fault, with its offset; empty when clean
};

ParsedLog ParseLog(const std::string& bytes);

// Every record of every log file in a folder (a later run of the program starts a new numbered
// file there), in file order. Trailing torn records of a file being written are left out.
std::vector<LogRecord> ReadLogRecords(const std::string& dir);

// Waits until some record of the folder's log files satisfies the condition.
bool WaitForLog(const std::string& dir, const std::function<bool(const LogRecord&)>& condition,
                std::chrono::milliseconds timeout);
bool WaitForMessage(const std::string& dir, const std::string& message,
                    std::chrono::milliseconds timeout);
// Index of the first record whose message starts with the text, or -1.
int FindMessage(const std::vector<LogRecord>& records, const std::string& prefix, int from = 0);
int CountMessages(const std::vector<LogRecord>& records, const std::string& prefix);

}  // namespace e2e
