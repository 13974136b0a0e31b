// The command protocol spoken with the crypto plugin. The plugin presents its functions as
// objects: a command names the object class (Plugin), the instance (ID, empty for a new one),
// the method and its arguments (Params); the reply gives back the instance and one text result.
//
//   TPluginExecutor engine("VEDuzoziVavodaDizodizi");
//   if (engine.Execute("InitCryptoEngineByType", {"sCryptoEngineType=8"})) ...
//   // the plugin's instance is released when `engine` goes
#pragma once

#include <string>
#include <vector>

#include "api/U_PluginJSON.h"

namespace nelvo {

using TPluginParams = std::vector<std::string>;

class TPluginBase : public TjsonPersistent {
public:
    std::string ID;
    std::string Plugin;
    std::string Method;

    static const TMemberTable& Table();
    const TMemberTable& Members() const override { return Table(); }
};

// Params go out as an array of one-member objects, one per line: "name=value" splits at the
// first "=", a line without one is a name with the empty value.
class TPluginCommand : public TPluginBase, public IjsonPropertyWriter {
public:
    TjsonStringList Params;

    static const TMemberTable& Table();
    const TMemberTable& Members() const override { return Table(); }
    void WriteProperty(const TJSONStreamer& writer, const TPersistent& object,
                       const TPropInfo& member, std::optional<TJSONData>& value) const override;
};

class TPluginResult : public TPluginBase {
public:
    std::string Result;

    static const TMemberTable& Table();
    const TMemberTable& Members() const override { return Table(); }
};

// Sends one command; on success ID and Result take the reply's values, on a transport failure
// both stay as they were. A reply that is not JSON raises the JSON reader's error.
bool ExecuteCommand(const std::string& Plugin, const std::string& Method,
                    const TPluginParams& Params, std::string& Result, std::string& ID);

// One plugin object instance on the host side. Used by one thread at a time.
class TPluginExecutor : public TObject {
public:
    explicit TPluginExecutor(std::string Plugin) : Plugin_(std::move(Plugin)) {}
    // A bound instance is released in the plugin ("Release", result ignored).
    ~TPluginExecutor() override;
    TPluginExecutor(const TPluginExecutor&) = delete;
    TPluginExecutor& operator=(const TPluginExecutor&) = delete;

    // The reply's result goes to Result().
    bool Execute(const std::string& Method, const TPluginParams& Params = {});
    // The reply's result goes to Text; Result() keeps the main call's result.
    bool Execute(const std::string& Method, const TPluginParams& Params, std::string& Text);

    const std::string& Plugin() const { return Plugin_; }
    const std::string& ID() const { return ID_; }
    const std::string& Result() const { return Result_; }

protected:
    // Derived executors that add steps to their own end call this first.
    void Release();

private:
    std::string Plugin_;
    std::string ID_;
    std::string Result_;
};

// The plugin's own version text; empty when it cannot be asked.
std::string QueryPluginVersion();

}  // namespace nelvo
