// Base of the host log: owns the tracer, reads the log file name from the settings file once,
// and turns every log and trace call into one self-describing record.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "log/ICTracer.h"
#include "log/QxThreads.h"
#include "tools/QxValues.h"

namespace nelvo {

using TNames = std::vector<std::string>;
using TValues = std::vector<TVarRec>;

class EQxPluginLoger : public Exception {
public:
    using Exception::Exception;
};

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

// "StartExecFunction" ... "Destroy"; raises EQxPluginLoger for a value outside the list.
std::string TraceTypeToString(TQxLogerTraceType type);

// "name: value" for a one-line value; for a value of several lines the name, ":#", the indent's
// length, "\", the byte length of the indented value, a line break and the indented value.
std::string FormatNameValue(const std::string& name, const std::string& value,
                            const std::string& indent);

// The data id and the body of one record.
struct TQxTraceRecord {
    std::string dataId;
    std::string body;
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

    // Consults the settings file on the first question, never again.
    virtual bool IsEnabled();
    // The file currently written to; empty while the log is not enabled.
    std::string FileName();

    // The tracer exists once IsEnabled was asked.
    TICTracer* Tracer() const { return Tracer_.get(); }

    // --- how records show their objects and values ---
    // Class name + "(0x" + address + ")"; empty without an object.
    virtual std::string ObjectToString(const TObject* object) const;
    // "Object=" + ObjectToString in double quotes; empty without an object.
    virtual std::string ObjectText(const TObject* object) const;
    std::string ValueText(const TVarRec& value) const;
    // One "name: value" line per element of the longer list; missing names are "Param<n>".
    std::string FormatParams(const TNames& names, const TValues& values) const;
    TQxTraceRecord FormatRecord(const TObject* sender, TQxLogerTraceType type,
                                const std::string& msg, const TNames& names,
                                const TValues& values) const;
    std::string FormatHeadLine(const TObject* sender, const TQxTraceRecord& record) const;

protected:
    virtual std::unique_ptr<TICTracer> CreateTracer();
    virtual void Configure();
    virtual std::string GetIniFileName() const;
    virtual std::string GetIniSection() const { return "Log"; }
    virtual std::string GetIniKey() const { return "FileName"; }
    virtual std::string GetLogFileName() const;
    virtual void Trace(const TObject* sender, TQxLogerTraceType type, const std::string& msg,
                       const TNames& names, const TValues& values);

    // Created by the first IsEnabled (so that a derived class's CreateTracer is the one used),
    // under the lock, and kept for the life of the object.
    std::unique_ptr<TICTracer> Tracer_;
    bool Configured = false;  // guarded by the lock
};

}  // namespace nelvo
