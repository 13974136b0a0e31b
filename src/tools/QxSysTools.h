// Free functions shared by every part of the host: configuration variables, program and module
// paths, small file helpers, file searches with masks, the operating-system description, date and
// value texts, Base64, text cutting, INI reading, process look-up and memory-range checks.
// None of them keeps state between calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/File.h"
#include "tools/QxObject.h"
#include "tools/QxValues.h"

namespace nelvo {

// The program's title: the window caption, and the caption of every message the program shows.
inline constexpr char ApplicationTitle[] = "Nelvo Plugin Host [ZRB]";

// --- configuration variables --------------------------------------------------------------------

enum class TConfigVarParam {
    cvpPID,
    cvpDate,
    cvpTime,
    cvpDateTime,
    cvpExeName,
    cvpMachineName,
    cvpLibName,
    cvpFullExeName,
    cvpFullLibName,
    cvpDocuments,
    cvpLibrary,
    cvpPublic,
    cvpDownloads,
};

inline constexpr const char* DefaultDateFormat = "yyyymmdd";
inline constexpr const char* DefaultTimeFormat = "hhnnss";
inline constexpr const char* DefaultDateTimeFormat = "yyyymmdd_hhnnss";

std::string ExpandConfigVars(const std::string& text);
std::string GetConfigVar(const std::string& token);
std::string ExpandEnvVars(const std::string& text);

// --- paths and files ----------------------------------------------------------------------------

std::string GetExeFileName();
std::string GetLibFileName();
std::string GetLoadedModuleFileName(const std::string& moduleName);
std::string GetMachineName();
std::string ChangeFilePath(const std::string& fileName, const std::string& folder);
std::string FindFileOnSearchPath(const std::string& fileName);
std::string GetFileVersion(const std::string& path);
TDateTime GetFileDateTime(const std::string& path);
bool IsEmptyFile(const std::string& path);
int SkipBOM(platform::File& stream);
void AppendToFile(const std::string& path, const void* bytes, std::size_t count, bool replace);
void AppendLine(const std::string& path, const std::string& text);
std::string GetUniqueFileName(const std::string& path);

// File-name parts, on the platform's delimiters.
std::string ExtractFilePath(const std::string& path);  // folder with its trailing delimiter
std::string ExtractFileDir(const std::string& path);   // folder without trailing delimiter
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);  // ".ext" of the last part, or empty
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingPathDelimiter(const std::string& folder);
std::string ExcludeTrailingPathDelimiter(const std::string& folder);
// Joins parts with the platform's delimiter: PathJoin({"%Temp%", "Nelvo", "Error.log"}).
std::string PathJoin(std::initializer_list<std::string_view> parts);

// The settings file: the program's name with ".ini" beside the program when that file exists,
// else the same name in "%AppData%\Nelvo\NelvoPlugin". The host log and the settings share it.
std::string GetHostIniFileName();

// Raised by the file helpers when a file cannot be created, opened or written.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

// --- masks and file searches --------------------------------------------------------------------

struct TFileMasks {
    std::vector<std::string> include;
    std::vector<std::string> exclude;
};
TFileMasks ParseMasks(const std::string& maskText);
bool MatchesMasks(const std::string& fileName, const TFileMasks& masks);
// Wild-card match with "*" and "?", letter case ignored.
bool MatchesMask(std::string_view name, std::string_view mask);
int FindFiles(const std::string& folder, const std::string& maskText,
              std::vector<std::string>& result, bool fullPaths, bool recursive);
std::string FindNthFile(const std::string& folder, const std::string& maskText, bool recursive,
                        int n);

// --- operating system ---------------------------------------------------------------------------

// The Windows name table, kept for Windows builds and tested with recorded version data.
std::string WindowsOSName(int major, int minor, int build, const std::string& servicePack);
std::string GetOSName();
bool IsWindows64();
std::string GetOSVersionText();

// --- dates --------------------------------------------------------------------------------------

TDateTime Now();
// Tests replace the clock to cross midnight or an hour; an empty function restores it.
void SetNowFunction(std::function<TDateTime()> now);
TDateTime DateOf(const TDateTime& value);
// Days since 1899-12-30 with the time of day as fraction, the one-number form of a date-time.
double DateTimeToDouble(const TDateTime& value);
std::string FormatDateTime(const std::string& format, const TDateTime& value);
std::string DateTimeToISO(const TDateTime& value);

// --- Base64 -------------------------------------------------------------------------------------

std::string Base64ToBytes(std::string_view text);
// Raises EBase64Error in strict mode when a character lies outside the alphabet.
std::string DecodeBase64Text(std::string_view text, bool strict);
std::string EncodeBase64(std::string_view bytes);

class EBase64Error : public Exception {
public:
    using Exception::Exception;
};

// --- values as text -----------------------------------------------------------------------------

std::string BoolToText(bool value);
std::string ValueToText(const TVarRec& value);
std::string VariantToText(const TVariant& value);
std::string FloatToText(double value);
std::string CurrencyToText(TCurrency value);

class EVariantError : public Exception {
public:
    using Exception::Exception;
};

// --- texts --------------------------------------------------------------------------------------

// Positions are 1-based as in the system's texts; 0 means not found.
int PosText(std::string_view needle, std::string_view text, int start = 1);
std::string SplitFirst(std::string& text, std::string_view separator);
std::string TextBetween(std::string_view text, std::string_view opening, std::string_view closing,
                        int& start);
std::string IndentLines(const std::string& text, const std::string& prefix,
                        const std::string& lineBreak);
// ASCII letters only: the system's texts compare names, never natural-language words.
constexpr char LowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
constexpr char UpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
std::string UpperCase(std::string_view text);  // ASCII letters only
std::string LowerCase(std::string_view text);  // ASCII letters only
bool SameText(std::string_view a, std::string_view b);
// Trims characters with codes up to 32 at both ends.
std::string Trim(std::string_view text);
// Hexadecimal text in upper case with at least minDigits digits.
std::string IntToHex(std::uint64_t value, int minDigits);
// Decimal integer text ("-12", "+7"); false for anything else or out of the 32-bit range.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// --- INI ----------------------------------------------------------------------------------------

std::string ReadIniString(const std::string& iniPath, const std::string& section,
                          const std::string& key, const std::string& defaultValue);

// --- processes and memory -----------------------------------------------------------------------

bool IsReadableMemory(const void* address, std::size_t count);
bool IsCodeMemory(const void* address, std::size_t count);
std::string GetProcessImagePath(int pid);
int FindProcessByName(const std::string& name);

}  // namespace nelvo
