// Helpers of the settings tests: a host log that keeps the records it is given, installed for
// the lifetime of a test.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "log/U_LogFile.h"

namespace nelvo::test {

struct CapturedRecord {
    std::string sender;  // class name of the object logged for
    TQxLogerTraceType type;
    std::string message;
    TNames names;  // holds the detail text of Log, when there is one
};

class TCapturingLoger : public THostLoger {
public:
    std::vector<CapturedRecord> Records() const {
        std::lock_guard guard(lock_);
        return records_;
    }

protected:
    void Trace(const TObject* sender, TQxLogerTraceType type, const std::string& msg,
               const TNames& names, const TValues&) override {
        std::lock_guard guard(lock_);
        records_.push_back({sender ? sender->ClassName() : std::string(), type, msg, names});
    }
    // Never reads a settings file.
    std::string GetLogFileName() const override { return {}; }

private:
    mutable std::mutex lock_;
    std::vector<CapturedRecord> records_;
};

// Installs a capturing host log and puts a fresh default one back afterwards.
class ScopedLogCapture {
public:
    ScopedLogCapture() {
        auto loger = std::make_unique<TCapturingLoger>();
        loger_ = loger.get();
        SetHostLoger(std::move(loger));
    }
    ~ScopedLogCapture() { SetHostLoger(nullptr); }
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    std::vector<CapturedRecord> Records() const { return loger_->Records(); }

private:
    TCapturingLoger* loger_;
};

}  // namespace nelvo::test
