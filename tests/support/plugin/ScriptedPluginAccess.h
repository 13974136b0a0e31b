// Reaching the scripted test plugin from tests that link the host's core and the
// nelvo_scripted_plugin target: its build folders, the library manager's search paths that lead
// the host to one of them, and the plugin's script control while it is loaded.
//
//   ScopedSearchPaths paths({PluginFolder("scripted")});
//   host.LoadPlugin();
//   LoadedScript()->Push({.reply = "..."});
#pragma once

#include <string>
#include <utility>

#include "plugin/QxLibUtils.h"
#include "plugin/U_PluginBinding.h"
#include "support/plugin/ScriptControl.h"

namespace nelvo::test {

// Folder of one build of the scripted plugin: "scripted", "without_ws_execute",
// "without_ws_executeex", "without_ws_shutdown".
inline std::string PluginFolder(const std::string& build) {
    return std::string(NELVO_SCRIPTED_PLUGIN_DIR) + "/" + build;
}

inline std::string PluginFile(const std::string& build) {
    return PluginFolder(build) + "/npNelvoPluginZRB.so";
}

// The manager's search paths for the lifetime of the object. Objects restore in reverse order:
// end one before starting the next that replaces it.
class ScopedSearchPaths {
public:
    explicit ScopedSearchPaths(TPathList paths) : old_(LibManager().SearchPaths()) {
        LibManager().SetSearchPaths(std::move(paths));
    }
    ~ScopedSearchPaths() { LibManager().SetSearchPaths(old_); }
    ScopedSearchPaths(const ScopedSearchPaths&) = delete;
    ScopedSearchPaths& operator=(const ScopedSearchPaths&) = delete;

private:
    TPathList old_;
};

// The control of the scripted plugin registered under the plugin's name; nullptr when none is.
// Valid until the library's last release.
inline IScriptControl* LoadedScript() {
    const TQxDynLibrary* library = FindLibrary(PluginLibName);
    if (!library) return nullptr;
    auto control = reinterpret_cast<TScriptControlFunc>(library->ProcAddress(ScriptControlExport));
    return control ? control() : nullptr;
}

// Releases every hold on the plugin library, so no test leaves it loaded for the next.
inline void ReleasePluginLibrary() {
    while (FindLibrary(PluginLibName)) UnloadLibrary(PluginLibName);
}

}  // namespace nelvo::test
