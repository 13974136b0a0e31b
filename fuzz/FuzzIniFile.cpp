// The settings file is edited by hand: any bytes must read without a crash, and what was read
// must survive a save and a second read unchanged.
#include <cstdint>

#include "FuzzSupport.h"
#include "tools/QxIniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using nelvo::TMemIniFile;
    nelvo::fuzz::WriteScratch(data, size);
    std::string before;
    {
        TMemIniFile ini(nelvo::fuzz::ScratchFile());
        before = ini.ReadString("Server", "Domains", "<none>") + "|" +
                 ini.ReadString("Log", "FileName", "<none>") + "|" +
                 std::to_string(ini.ReadInteger("Server_HTTP", "Port", -1));
        try {
            ini.WriteInteger("Server_HTTPS", "Port", 11742);
            ini.UpdateFile();
        } catch (const std::exception&) {
            return 0;
        }
    }
    TMemIniFile again(nelvo::fuzz::ScratchFile());
    const std::string after = again.ReadString("Server", "Domains", "<none>") + "|" +
                              again.ReadString("Log", "FileName", "<none>") + "|" +
                              std::to_string(again.ReadInteger("Server_HTTP", "Port", -1));
    if (after != before || again.ReadInteger("Server_HTTPS", "Port", 0) != 11742) std::abort();
    return 0;
}
