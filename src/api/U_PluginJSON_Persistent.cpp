// The base of every JSON record.
#include "api/U_PluginJSON.h"
#include "log/U_LogFile.h"

namespace nelvo {

// The hooks are looked up when they run rather than here: while this constructor runs the
// object is not yet the derived record that implements them.
TjsonPersistent::TjsonPersistent() {
    writer_.Options = {TJSONStreamOption::jsoTStringsAsArray};
    writer_.OnStreamProperty = [this](const TJSONStreamer& writer, const TPersistent& object,
                                      const TPropInfo& member, std::optional<TJSONData>& value) {
        if (const auto* hook = dynamic_cast<const IjsonPropertyWriter*>(this))
            hook->WriteProperty(writer, object, member, value);
    };
    reader_.OnLoadProperty = [this](TJSONDeStreamer& reader, TPersistent& object,
                                    const TPropInfo& member, const TJSONData& value,
                                    bool& handled) {
        if (auto* hook = dynamic_cast<IjsonPropertyReader*>(this))
            hook->ReadProperty(reader, object, member, value, handled);
    };
}

bool TjsonPersistent::LoadFromJSON(std::string_view text) {
    HostLoger->TraceStart(this, "LoadFromJSON");
    try {
        reader_.LoadObject(text, *this);
    } catch (...) {
        HostLoger->TraceEnd(this, "LoadFromJSON");
        throw;
    }
    HostLoger->TraceEnd(this, "LoadFromJSON");
    return true;
}

std::string TjsonPersistent::AsJSONString() const {
    HostLoger->TraceStart(this, "AsJSONString");
    std::string text;
    try {
        text = JSONToCompactText(writer_.SaveObject(*this));
    } catch (...) {
        HostLoger->TraceEnd(this, "AsJSONString");
        throw;
    }
    HostLoger->TraceEnd(this, "AsJSONString");
    return text;
}

}  // namespace nelvo
