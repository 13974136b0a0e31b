#include "platform/Resources.h"

namespace nelvo::platform {

std::optional<std::string_view> FindRawResource(std::string_view name) {
    for (const TRawResourceEntry& entry : RawResourceTable())
        if (entry.Name == name)
            return std::string_view(reinterpret_cast<const char*>(entry.Bytes), entry.Size);
    return std::nullopt;
}

}  // namespace nelvo::platform
