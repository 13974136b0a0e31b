// The tracer: a logger that knows which module it logs for. A new file starts with a header
// block describing the module (and, for the plugin tracer, the machine); a final write failure
// leaves one line in an error file under the temporary folder.
#pragma once

#include <string>

#include "log/QxLoger.h"

namespace nelvo {

class TICTracer : public TQxLoger {
public:
    TICTracer(std::string logType, std::string id);

    const std::string& LogType() const { return LogType_; }
    const std::string& ID() const { return ID_; }
    const std::string& Version() const { return Version_; }
    const std::string& FullName() const { return FullName_; }
    const std::string& BuildTime() const { return BuildTime_; }

    // Writes one record under the lock: the head line, then the body and a line break when
    // there is a body. Nothing happens while the tracer is not active.
    void WriteData(const std::string& head, const std::string& body);
    // The file the tracer writes to: the one decided last, else its configured name.
    std::string CurrentFileName() const;

    virtual void WriteHeader(TQxLoger& sender, platform::File& stream);
    virtual std::string GetHeaderText() const;

protected:
    // Appends the failure to the error file; never raises.
    void WriteErrorLog(TQxLoger& sender, const std::exception& error);
    std::string ErrorLogFileName() const;

private:
    std::string LogType_;
    std::string ID_;
    std::string Version_;
    std::string FullName_;
    std::string BuildTime_;
};

// The host's tracer: the header block also names the machine and its operating system.
class TPluginICTracer : public TICTracer {
public:
    using TICTracer::TICTracer;
    std::string GetHeaderText() const override;
};

}  // namespace nelvo
