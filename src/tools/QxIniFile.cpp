#include "tools/QxIniFile.h"

// Byte mode only: names and values stay the bytes of the file, whatever their encoding.
#define SI_NO_CONVERSION
#include <SimpleIni.h>


#include "platform/File.h"
#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";
// A settings file is a few hundred bytes; anything past this is not ours to load.
constexpr std::size_t kMaxIniBytes = 16u << 20;
}  // namespace

struct TMemIniFile::Impl {
    // Byte mode: names and values are kept as the bytes of the file, whatever their encoding.
    CSimpleIniA ini{false, false, false};
};

TMemIniFile::TMemIniFile(std::string fileName)
    : fileName_(std::move(fileName)), impl_(std::make_unique<Impl>()) {
    impl_->ini.SetSpaces(false);
    std::string data;
    if (!platform::ReadWholeFile(fileName_, data, kMaxIniBytes)) return;
    if (data.starts_with(kBom)) {
        hasBom_ = true;
        data.erase(0, kBom.size());
    }
    if (impl_->ini.LoadData(data) < 0) impl_->ini.Reset();
}

TMemIniFile::~TMemIniFile() = default;

bool TMemIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
    const char* value = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return value ? std::string(value) : defaultValue;
}

std::int32_t TMemIniFile::ReadInteger(const std::string& section, const std::string& key,
                                      std::int32_t defaultValue) const {
    std::int32_t value = 0;
    return TryStrToInt(Trim(ReadString(section, key, {})), value) ? value : defaultValue;
}

void TMemIniFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
    impl_->ini.SetValue(section.c_str(), key.c_str(), value.c_str());
}

void TMemIniFile::WriteInteger(const std::string& section, const std::string& key,
                               std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TMemIniFile::UpdateFile() {
    std::string text;
    if (impl_->ini.Save(text) < 0) throw EFileError("Cannot format INI file \"" + fileName_ + "\"");
    if (hasBom_) text.insert(0, kBom);
    // Written beside the target and renamed over it, so a failing disk never leaves half a file.
    const std::string temp = fileName_ + ".tmp";
    platform::File file;
    if (!file.Open(temp, platform::File::Mode::Create) || !file.Write(text) || !file.Flush()) {
        const std::string reason = platform::LastErrorMessage();
        file.Close();
        platform::DeleteFileAt(temp);
        throw EFileError("Cannot create file \"" + fileName_ + "\". " + reason);
    }
    file.Close();
    if (!platform::RenameFile(temp, fileName_)) {
        const std::string reason = platform::LastErrorMessage();
        platform::DeleteFileAt(temp);
        throw EFileError("Cannot create file \"" + fileName_ + "\". " + reason);
    }
}

}  // namespace nelvo
