#include "log/QxPluginLogerBase.h"

#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

TQxPluginLogerBase::TQxPluginLogerBase() = default;
TQxPluginLogerBase::~TQxPluginLogerBase() = default;

void TQxPluginLogerBase::Log(const TObject* sender, const std::string& msg, int level,
                             const std::string& detail) {
    if (level == 4) return;
    const TNames names = detail.empty() ? TNames() : TNames{detail};
    const auto type = level == 0 ? TQxLogerTraceType::ttError : TQxLogerTraceType::ttMessage;
    Trace(sender, type, msg, names, {});
}

void TQxPluginLogerBase::LogException(const TObject* sender, const std::string& context,
                                      const std::exception& e) {
    std::string text = "Exception " + ExceptionClassName(e) + ": " + e.what();
    if (!context.empty()) text = context + ": " + text;
    Log(sender, text, 0);
}

void TQxPluginLogerBase::TraceStart(const TObject* sender, const std::string& name) {
    Trace(sender, TQxLogerTraceType::ttStartExecFunction, name, {}, {});
}

void TQxPluginLogerBase::TraceStart(const TObject* sender, const std::string& name,
                                    const TNames& names, const TValues& values) {
    Trace(sender, TQxLogerTraceType::ttStartExecFunction, name, names, values);
}

void TQxPluginLogerBase::TraceEnd(const TObject* sender, const std::string& name) {
    Trace(sender, TQxLogerTraceType::ttEndExecFunction, name, {}, {});
}

void TQxPluginLogerBase::TraceEnd(const TObject* sender, const std::string& name,
                                  const TVariant& result) {
    Trace(sender, TQxLogerTraceType::ttEndExecFunction, name, {}, {TVarRec(result)});
}

void TQxPluginLogerBase::TraceMessage(const TObject* sender, const std::string& msg) {
    Trace(sender, TQxLogerTraceType::ttMessage, msg, {}, {});
}

void TQxPluginLogerBase::TraceMessage(const TObject* sender, const std::string& msg,
                                      const TNames& names, const TValues& values) {
    Trace(sender, TQxLogerTraceType::ttMessage, msg, names, values);
}

void TQxPluginLogerBase::TraceError(const TObject* sender, const std::string& msg) {
    Trace(sender, TQxLogerTraceType::ttError, msg, {}, {});
}

void TQxPluginLogerBase::TraceError(const TObject* sender, const std::string& msg,
                                    const TNames& names, const TValues& values) {
    Trace(sender, TQxLogerTraceType::ttError, msg, names, values);
}

bool TQxPluginLogerBase::IsEnabled() {
    auto guard = Guard();
    if (!Tracer_) Tracer_ = CreateTracer();
    if (!Tracer_) return false;
    if (!Configured) Configure();
    return Configured && Tracer_->Active();
}

std::string TQxPluginLogerBase::FileName() {
    if (!IsEnabled()) return {};
    return Tracer_->CurrentFileName();
}

std::unique_ptr<TICTracer> TQxPluginLogerBase::CreateTracer() {
    auto tracer = std::make_unique<TPluginICTracer>(
        "NelvoPluginTracer", std::to_string(platform::ProgramModuleHandle()));
    tracer->SetDeactivateOnError(true);
    return tracer;
}

// The configuration variables are expanded here, once: the file name stays what it was when
// the run began.
void TQxPluginLogerBase::Configure() {
    struct MarkConfigured {
        bool& configured;
        ~MarkConfigured() { configured = true; }
    } markConfigured{Configured};
    if (Tracer_->Active()) return;
    const std::string name = GetLogFileName();
    if (name.empty()) return;
    Tracer_->SetFileName(ExpandConfigVars(name));
    Tracer_->SetActive(true);
}

std::string TQxPluginLogerBase::GetIniFileName() const {
    return GetHostIniFileName();
}

std::string TQxPluginLogerBase::GetLogFileName() const {
    const std::string ini = GetIniFileName();
    if (!platform::FileExists(ini)) return {};
    return ReadIniString(ini, GetIniSection(), GetIniKey(), "");
}

void TQxPluginLogerBase::Trace(const TObject* sender, TQxLogerTraceType type,
                               const std::string& msg, const TNames& names, const TValues& values) {
    if (!IsEnabled()) return;
    const TQxTraceRecord record = FormatRecord(sender, type, msg, names, values);
    Tracer_->WriteData(FormatHeadLine(sender, record), record.body);
}

}  // namespace nelvo
