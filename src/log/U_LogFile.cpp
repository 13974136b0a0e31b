// Placeholder until the tracer lands: a silent host log with the final call interface.
#include "log/U_LogFile.h"

#include <atomic>
#include <mutex>

#include "log/QxPluginLogerBase.h"

namespace nelvo {

class TICTracer {};

TQxPluginLogerBase::TQxPluginLogerBase() = default;
TQxPluginLogerBase::~TQxPluginLogerBase() = default;
void TQxPluginLogerBase::Log(const TObject*, const std::string&, int, const std::string&) {}
void TQxPluginLogerBase::LogException(const TObject*, const std::string&, const std::exception&) {}
void TQxPluginLogerBase::TraceStart(const TObject*, const std::string&) {}
void TQxPluginLogerBase::TraceStart(const TObject*, const std::string&, const TNames&,
                                    const TValues&) {}
void TQxPluginLogerBase::TraceEnd(const TObject*, const std::string&) {}
void TQxPluginLogerBase::TraceEnd(const TObject*, const std::string&, const TVariant&) {}
void TQxPluginLogerBase::TraceMessage(const TObject*, const std::string&) {}
void TQxPluginLogerBase::TraceMessage(const TObject*, const std::string&, const TNames&,
                                      const TValues&) {}
void TQxPluginLogerBase::TraceError(const TObject*, const std::string&) {}
void TQxPluginLogerBase::TraceError(const TObject*, const std::string&, const TNames&,
                                    const TValues&) {}
bool TQxPluginLogerBase::IsEnabled() { return false; }
std::string TQxPluginLogerBase::FileName() { return {}; }
std::unique_ptr<TICTracer> TQxPluginLogerBase::CreateTracer() { return nullptr; }
void TQxPluginLogerBase::Configure() {}
std::string TQxPluginLogerBase::GetIniFileName() const { return {}; }
std::string TQxPluginLogerBase::GetLogFileName() const { return {}; }
void TQxPluginLogerBase::Trace(const TObject*, TQxLogerTraceType, const std::string&,
                               const TNames&, const TValues&) {}

namespace {
std::mutex gLogerLock;
std::unique_ptr<THostLoger> gLoger;
THostLoger gSilent;
bool gFreed = false;
}  // namespace

const THostLogerAccess HostLoger;

THostLoger* THostLogerAccess::operator->() const {
    std::lock_guard guard(gLogerLock);
    if (!gLoger && !gFreed) gLoger = std::make_unique<THostLoger>();
    return gLoger ? gLoger.get() : &gSilent;
}

void FreeHostLoger() {
    std::lock_guard guard(gLogerLock);
    gLoger.reset();
    gFreed = true;
}

void SetHostLoger(std::unique_ptr<THostLoger> loger) {
    std::lock_guard guard(gLogerLock);
    gLoger = std::move(loger);
    gFreed = false;
}

}  // namespace nelvo
