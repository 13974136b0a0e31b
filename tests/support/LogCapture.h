// The host log as a list of lines: a log that keeps every Log call it is given instead of writing
// a file, and the scope that installs it for a test.
#pragma once

#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "log/U_LogFile.h"

namespace nelvo::test {

// One Log call as the host log received it.
struct LogLine {
    std::string sender;  // class name; empty without a sender
    bool error = false;  // level 0
    std::string message;
    std::string detail;
    bool operator==(const LogLine&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const LogLine& line) {
    return out << "{" << line.sender << ", " << (line.error ? "error" : "message") << ", \""
               << line.message << "\", \"" << line.detail << "\"}";
}

class TLogLineLoger : public THostLoger {
public:
    std::vector<LogLine> Lines() const {
        std::lock_guard guard(lock_);
        return lines_;
    }
    void Clear() {
        std::lock_guard guard(lock_);
        lines_.clear();
    }

protected:
    void Trace(const TObject* sender, TQxLogerTraceType type, const std::string& msg,
               const TNames& names, const TValues&) override {
        std::lock_guard guard(lock_);
        lines_.push_back({sender ? sender->ClassName() : std::string(),
                          type == TQxLogerTraceType::ttError, msg,
                          names.empty() ? std::string() : names.front()});
    }
    std::string GetLogFileName() const override { return {}; }

private:
    mutable std::mutex lock_;
    std::vector<LogLine> lines_;
};

// Installs a host log that keeps its lines, and puts a fresh default one back afterwards.
class ScopedLogLines {
public:
    ScopedLogLines() {
        auto loger = std::make_unique<TLogLineLoger>();
        loger_ = loger.get();
        SetHostLoger(std::move(loger));
    }
    ~ScopedLogLines() { SetHostLoger(nullptr); }
    ScopedLogLines(const ScopedLogLines&) = delete;
    ScopedLogLines& operator=(const ScopedLogLines&) = delete;

    std::vector<LogLine> Lines() const { return loger_->Lines(); }
    void Clear() { loger_->Clear(); }

private:
    TLogLineLoger* loger_;
};

}  // namespace nelvo::test
