// The scripted test plugin: a library with the four exports of the crypto plugin that records
// every call it receives and answers commands from a script. Tests reach its control through one
// more export, "Script_Control", looked up on the library while it is loaded (the plugin tests'
// LoadedScript() does that through the library manager, without a hold of its own):
//
//   IScriptControl* script = LoadedScript();
//   script->Push({.reply = R"({"ID":"7","Result":"ok"})"});   // answers the next command
//   ... drive the host ...
//   EXPECT_EQ(script->Commands()[0], R"({"ID":"","Plugin":"VUDuded",...})");
//
// A command with no scripted step left gets the echo reply: a JSON object with the command's
// "ID" (a fresh "ScriptID-<n>" when the command's is empty), "Plugin" and "Method", and an empty
// "Result". The state lives in the library: it starts empty whenever the library is loaded anew.
//
// Host and plugin are built by the same compiler and library, so the control is a C++ interface.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nelvo::test {

enum class TScriptCallKind { Initialize, Execute, ExecuteEx, Shutdown };

// One call the plugin received, with its arguments as they arrived.
struct TScriptCall {
    TScriptCallKind kind = TScriptCallKind::ExecuteEx;
    std::int32_t phase = 0;          // WS_ExecuteEx: 1 or 2 (or whatever was passed)
    bool commandIsNull = false;      // the command pointer was null
    std::string command{};           // the bytes up to the terminator
    std::int32_t commandLength = 0;  // the length argument
    bool replyIsNull = true;         // the reply buffer pointer was null
    bool replySizeIsNull = false;    // the size pointer was null
    std::int32_t replySize = 0;      // *size on entry
};

// How the plugin answers one command (both of its phases).
struct TScriptStep {
    std::optional<std::string> reply{};       // none: the echo reply
    std::optional<std::int32_t> replySize{};  // size told in phase 1 instead of the reply's length
    std::int32_t phase1Status = 0;            // returned by phase 1; negative skips preparing
    std::int32_t phase2Status = 0;            // returned by phase 2; negative skips copying
    int delayMs = 0;                          // sleep inside phase 1, after the call is recorded
    int throwInPhase = 0;  // 1 or 2: throw std::runtime_error("scripted failure") there
};

class [[gnu::visibility("default")]] IScriptControl {
public:
    // Forgets the calls, the queued steps, the responder, the observer and the failures.
    virtual void Reset() = 0;
    // Queues the answer to the next command that has none yet.
    virtual void Push(const TScriptStep& step) = 0;
    // Answers commands once the queue is empty (called in phase 1 on the caller's thread; it may
    // block to hold a call inside the plugin). An empty function restores the echo reply.
    virtual void SetResponder(std::function<TScriptStep(const std::string& command)> responder) = 0;
    // Called on the caller's thread with every call as it arrives, before it is answered. Its
    // record survives the library's unload, unlike Calls().
    virtual void SetObserver(std::function<void(const TScriptCall&)> observer) = 0;
    // WS_Initialize / WS_Shutdown throw std::runtime_error("scripted failure") while set.
    virtual void SetThrowing(TScriptCallKind kind, bool throwing) = 0;

    virtual std::vector<TScriptCall> Calls() const = 0;
    // The command text of every phase-1 call, in order.
    virtual std::vector<std::string> Commands() const = 0;

protected:
    ~IScriptControl() = default;
};

using TScriptControlFunc = IScriptControl* (*)();
inline constexpr const char* ScriptControlExport = "Script_Control";

}  // namespace nelvo::test
