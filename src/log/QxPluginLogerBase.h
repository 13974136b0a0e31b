// Base of the host log: owns the tracer, reads the log file name from the settings file once,
// and turns every log and trace call into one record.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "log/QxLoger.h"
#include "log/U_LogFile.h"

namespace nelvo {

class TICTracer;

enum class TQxLogerTraceType {
    ttStartExecFunction,
    ttEndExecFunction,
    ttMessage,
    ttError,
    ttSetProperty,
    ttGetProperty,
    ttCreate,
    ttDestroy,
};

class TQxPluginLogerBase : public TQxThreadSafetyClass {
public:
    TQxPluginLogerBase();
    ~TQxPluginLogerBase() override;

    // --- the calls every part makes ---
    void Log(const TObject* sender, const std::string& msg, int level,
             const std::string& detail = std::string());
    void LogException(const TObject* sender, const std::string& context, const std::exception& e);
    void TraceStart(const TObject* sender, const std::string& name);
    void TraceStart(const TObject* sender, const std::string& name, const TNames& names,
                    const TValues& values);
    void TraceEnd(const TObject* sender, const std::string& name);
    void TraceEnd(const TObject* sender, const std::string& name, const TVariant& result);
    void TraceMessage(const TObject* sender, const std::string& msg);
    void TraceMessage(const TObject* sender, const std::string& msg, const TNames& names,
                      const TValues& values);
    void TraceError(const TObject* sender, const std::string& msg);
    void TraceError(const TObject* sender, const std::string& msg, const TNames& names,
                    const TValues& values);

    bool IsEnabled();
    // The file currently written to; empty while the log is not enabled.
    std::string FileName();

    TICTracer* Tracer() const { return Tracer_.get(); }

protected:
    virtual std::unique_ptr<TICTracer> CreateTracer();
    virtual void Configure();
    virtual std::string GetIniFileName() const;
    virtual std::string GetIniSection() const { return "Log"; }
    virtual std::string GetIniKey() const { return "FileName"; }
    virtual std::string GetLogFileName() const;
    virtual void Trace(const TObject* sender, TQxLogerTraceType type, const std::string& msg,
                       const TNames& names, const TValues& values);

    std::unique_ptr<TICTracer> Tracer_;
    bool Configured = false;
};

class THostLoger : public TQxPluginLogerBase {};

}  // namespace nelvo
