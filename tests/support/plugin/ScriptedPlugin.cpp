// The scripted test plugin (see ScriptControl.h). Built once complete and once without each of
// WS_Execute, WS_ExecuteEx and WS_Shutdown, so that a failing bind can be tested.
//
// No state here has a thread-local destructor and the build turns off unique symbols: either
// would keep the loader from unmapping the library on its last release, and the tests must see
// a real unload.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "support/plugin/ScriptControl.h"

#define SCRIPTED_EXPORT extern "C" [[gnu::visibility("default")]]

namespace {

using nelvo::test::IScriptControl;
using nelvo::test::TScriptCall;
using nelvo::test::TScriptCallKind;
using nelvo::test::TScriptStep;

[[noreturn]] void Fail() {
    throw std::runtime_error("scripted failure");
}

// What phase 1 prepared for phase 2 of the same command. The host runs both phases of a command
// on one thread, and many commands at once on different threads.
struct TPrepared {
    std::string reply;
    std::int32_t size = 0;
    TScriptStep step;
};

class TScript final : public IScriptControl {
public:
    void Reset() override {
        std::lock_guard guard(lock_);
        state_ = TState();
    }
    void Push(const TScriptStep& step) override {
        std::lock_guard guard(lock_);
        state_.steps.push_back(step);
    }
    void SetResponder(std::function<TScriptStep(const std::string&)> responder) override {
        std::lock_guard guard(lock_);
        state_.responder = std::move(responder);
    }
    void SetObserver(std::function<void(const TScriptCall&)> observer) override {
        std::lock_guard guard(lock_);
        state_.observer = std::move(observer);
    }
    void SetThrowing(TScriptCallKind kind, bool throwing) override {
        std::lock_guard guard(lock_);
        if (kind == TScriptCallKind::Initialize) state_.throwOnInitialize = throwing;
        if (kind == TScriptCallKind::Shutdown) state_.throwOnShutdown = throwing;
    }
    std::vector<TScriptCall> Calls() const override {
        std::lock_guard guard(lock_);
        return state_.calls;
    }
    std::vector<std::string> Commands() const override {
        std::lock_guard guard(lock_);
        std::vector<std::string> commands;
        for (const TScriptCall& call : state_.calls)
            if (call.kind == TScriptCallKind::ExecuteEx && call.phase == 1)
                commands.push_back(call.command);
        return commands;
    }

    // --- the plugin's side ---

    // Records the call and shows it to the observer, outside the lock so the observer may ask.
    void Record(const TScriptCall& call) {
        std::function<void(const TScriptCall&)> observer;
        {
            std::lock_guard guard(lock_);
            state_.calls.push_back(call);
            observer = state_.observer;
        }
        if (observer) observer(call);
    }
    bool Throwing(TScriptCallKind kind) const {
        std::lock_guard guard(lock_);
        return kind == TScriptCallKind::Initialize ? state_.throwOnInitialize
                                                   : state_.throwOnShutdown;
    }
    // The queued step, else the responder's, else the echo.
    TScriptStep NextStep(const std::string& command) {
        std::function<TScriptStep(const std::string&)> responder;
        {
            std::lock_guard guard(lock_);
            if (!state_.steps.empty()) {
                TScriptStep step = state_.steps.front();
                state_.steps.pop_front();
                return step;
            }
            responder = state_.responder;
        }
        return responder ? responder(command) : TScriptStep();
    }
    std::string NewId() {
        std::lock_guard guard(lock_);
        return "ScriptID-" + std::to_string(++state_.lastId);
    }
    void Prepare(TPrepared prepared) {
        std::lock_guard guard(lock_);
        state_.prepared[std::this_thread::get_id()] = std::move(prepared);
    }
    bool TakePrepared(TPrepared& prepared) {
        std::lock_guard guard(lock_);
        const auto at = state_.prepared.find(std::this_thread::get_id());
        if (at == state_.prepared.end()) return false;
        prepared = std::move(at->second);
        state_.prepared.erase(at);
        return true;
    }

private:
    struct TState {
        std::vector<TScriptCall> calls;
        std::deque<TScriptStep> steps;
        std::function<TScriptStep(const std::string&)> responder;
        std::function<void(const TScriptCall&)> observer;
        bool throwOnInitialize = false;
        bool throwOnShutdown = false;
        int lastId = 0;
        std::map<std::thread::id, TPrepared> prepared;
    };
    mutable std::mutex lock_;
    TState state_;
};

TScript& Script() {
    static TScript script;
    return script;
}

std::string Member(const nlohmann::ordered_json& object, const char* name) {
    const auto at = object.find(name);
    return at != object.end() && at->is_string() ? at->get<std::string>() : std::string();
}

// A reply for the command's own object: what a plugin answers when nothing was scripted.
std::string EchoReply(const std::string& command) {
    auto parsed = nlohmann::ordered_json::parse(command, nullptr, false);
    if (!parsed.is_object()) parsed = nlohmann::ordered_json::object();
    std::string id = Member(parsed, "ID");
    if (id.empty()) id = Script().NewId();
    nlohmann::ordered_json reply;
    reply["ID"] = id;
    reply["Plugin"] = Member(parsed, "Plugin");
    reply["Method"] = Member(parsed, "Method");
    reply["Result"] = "";
    return reply.dump();
}

[[maybe_unused]] std::int32_t PreparePhase(const std::string& command, std::int32_t* size) {
    TScriptStep step = Script().NextStep(command);
    if (step.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.delayMs));
    if (step.throwInPhase == 1) Fail();
    if (step.phase1Status < 0) return step.phase1Status;
    TPrepared prepared;
    prepared.reply = step.reply ? *step.reply : EchoReply(command);
    prepared.size = step.replySize.value_or(static_cast<std::int32_t>(prepared.reply.size()));
    prepared.step = step;
    *size = prepared.size;
    Script().Prepare(std::move(prepared));
    return step.phase1Status;
}

// Statuses of the plugin's own checks.
constexpr std::int32_t NoSize = -1, WrongBuffer = -2, NothingPrepared = -3, UnknownPhase = -4,
                       NotImplemented = -5;

[[maybe_unused]] std::int32_t DeliverPhase(char* reply, std::int32_t* size) {
    TPrepared prepared;
    if (!Script().TakePrepared(prepared)) return NothingPrepared;
    if (prepared.step.throwInPhase == 2) Fail();
    if (prepared.step.phase2Status < 0) return prepared.step.phase2Status;
    if (!reply || *size != prepared.size) return WrongBuffer;
    const std::size_t count =
        std::min(static_cast<std::size_t>(prepared.size), prepared.reply.size());
    std::memcpy(reply, prepared.reply.data(), count);
    return prepared.step.phase2Status;
}

TScriptCall CallOf(TScriptCallKind kind, const char* command = nullptr, std::int32_t length = 0) {
    TScriptCall call;
    call.kind = kind;
    call.commandIsNull = command == nullptr;
    call.command = command ? command : "";
    call.commandLength = length;
    return call;
}

}  // namespace

SCRIPTED_EXPORT IScriptControl* Script_Control() {
    return &Script();
}

SCRIPTED_EXPORT void WS_Initialize() {
    Script().Record(CallOf(TScriptCallKind::Initialize));
    if (Script().Throwing(TScriptCallKind::Initialize)) Fail();
}

#ifndef SCRIPTED_PLUGIN_WITHOUT_WS_Execute
// The host never calls it; it is here because the bind asks for it.
SCRIPTED_EXPORT std::int32_t WS_Execute(const char* command, std::int32_t length, char*,
                                        std::int32_t*) {
    Script().Record(CallOf(TScriptCallKind::Execute, command, length));
    return NotImplemented;
}
#endif

#ifndef SCRIPTED_PLUGIN_WITHOUT_WS_ExecuteEx
SCRIPTED_EXPORT std::int32_t WS_ExecuteEx(const char* command, std::int32_t length, char* reply,
                                          std::int32_t* size, std::int32_t phase) {
    TScriptCall call = CallOf(TScriptCallKind::ExecuteEx, command, length);
    call.phase = phase;
    call.replyIsNull = reply == nullptr;
    call.replySizeIsNull = size == nullptr;
    call.replySize = size ? *size : 0;
    Script().Record(call);
    if (!size) return NoSize;
    if (phase == 1) return PreparePhase(call.command, size);
    if (phase == 2) return DeliverPhase(reply, size);
    return UnknownPhase;
}
#endif

#ifndef SCRIPTED_PLUGIN_WITHOUT_WS_Shutdown
SCRIPTED_EXPORT void WS_Shutdown() {
    Script().Record(CallOf(TScriptCallKind::Shutdown));
    if (Script().Throwing(TScriptCallKind::Shutdown)) Fail();
}
#endif
