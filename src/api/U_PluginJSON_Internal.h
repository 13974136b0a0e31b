// Pieces shared by the writer and the reader of U_PluginJSON; not for use outside it.
#pragma once

#include <fmt/format.h>

#include <string>
#include <string_view>

#include "api/U_PluginJSON.h"
#include "tools/QxValues.h"

namespace nelvo::json_detail {

template <class... Args>
[[noreturn]] void RaiseRTTI(fmt::format_string<Args...> format, Args&&... args) {
    throw EJSONRTTI(fmt::format(format, std::forward<Args>(args)...));
}

// Counts nested arrays and objects on the way down a walk and refuses to go deeper than
// JSONMaxDepth.
class TDepthGuard {
public:
    explicit TDepthGuard(int& depth);
    ~TDepthGuard() { --depth_; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

private:
    int& depth_;
};

// The shortest text that reads back as the same double ("0.1", "1e+100", "3.0").
std::string FloatText(double value);

// Conversions of a JSON value to a member's type; EJSON when the value does not convert.
std::int32_t JSONToInt32(const TJSONData& value);
std::int64_t JSONToInt64(const TJSONData& value);
std::uint64_t JSONToUInt64(const TJSONData& value);
bool JSONToBool(const TJSONData& value);
double JSONToFloat(const TJSONData& value);
// Moves a string value out of the tree; other scalars give their text.
std::string JSONToString(TJSONData& value);

// Date-times as serial numbers: days since 1899-12-30, the time of day as the fraction (for
// days before that date the fraction counts away from zero). The empty TDateTime{} is 0.
double DateTimeToSerial(const TDateTime& value);
TDateTime SerialToDateTime(double serial);  // EJSON outside years 1..9999
bool IsZeroDateTime(const TDateTime& value);
// Reads a date-time written by a pattern of the FormatDateTime letters (yyyy, yy, m, mm, d, dd,
// h, hh, n, nn, s, ss, z, zzz; quoted texts and other characters are literals).
bool TryParseDateTime(std::string_view text, std::string_view pattern, TDateTime& value);

inline constexpr const char* DefaultJSONDateTimeFormat = "yyyy-mm-dd\"T\"hh:nn:ss";

}  // namespace nelvo::json_detail
