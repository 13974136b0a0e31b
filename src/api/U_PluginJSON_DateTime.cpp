// Date-time members: serial numbers and texts by pattern.
#include <cctype>
#include <cmath>

#include "api/U_PluginJSON_Internal.h"

namespace nelvo::json_detail {

namespace {

constexpr std::int64_t MsPerDay = 86'400'000;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, TDateTime& value) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    value.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    value.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    value.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (value.month <= 2));
}

const std::int64_t EpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : Days[m - 1];
}

bool IsValid(const TDateTime& v) {
    return v.year >= 1 && v.year <= 9999 && v.month >= 1 && v.month <= 12 && v.day >= 1 &&
           v.day <= DaysInMonth(v.year, v.month) && v.hour >= 0 && v.hour < 24 && v.minute >= 0 &&
           v.minute < 60 && v.second >= 0 && v.second < 60 && v.millisecond >= 0 &&
           v.millisecond < 1000;
}

}  // namespace

bool IsZeroDateTime(const TDateTime& value) {
    return value == TDateTime{} || value == TDateTime{1899, 12, 30};
}

double DateTimeToSerial(const TDateTime& value) {
    if (value == TDateTime{}) return 0;
    if (!IsValid(value)) RaiseRTTI("Invalid date-time value");
    const auto days =
        static_cast<double>(DaysFromCivil(value.year, static_cast<unsigned>(value.month),
                                          static_cast<unsigned>(value.day)) -
                            EpochDays);
    const double ms =
        ((value.hour * 60.0 + value.minute) * 60.0 + value.second) * 1000.0 + value.millisecond;
    const double fraction = ms / MsPerDay;
    return days < 0 ? days - fraction : days + fraction;
}

TDateTime SerialToDateTime(double serial) {
    // Years 1..9999, as the serial numbers of the system's dates cover.
    if (!std::isfinite(serial) || serial < -693593.0 || serial >= 2958466.0)
        throw EJSON(fmt::format("{} is not a valid date-time serial number", FloatText(serial)));
    if (serial == 0) return TDateTime{};
    auto days = static_cast<std::int64_t>(std::trunc(serial));
    auto ms = std::llround(std::fabs(serial - std::trunc(serial)) * MsPerDay);
    if (ms >= MsPerDay) {
        ms -= MsPerDay;
        days += serial < 0 ? -1 : 1;
    }
    TDateTime value;
    CivilFromDays(days + EpochDays, value);
    value.hour = static_cast<int>(ms / 3'600'000);
    value.minute = static_cast<int>(ms / 60'000 % 60);
    value.second = static_cast<int>(ms / 1000 % 60);
    value.millisecond = static_cast<int>(ms % 1000);
    // Rounding to the millisecond may carry past the last day.
    if (!IsValid(value))
        throw EJSON(fmt::format("{} is not a valid date-time serial number", FloatText(serial)));
    return value;
}

namespace {

// One field of a pattern: letter run of the FormatDateTime letters.
bool ReadNumber(std::string_view text, std::size_t& pos, std::size_t maxDigits, int& number) {
    std::size_t digits = 0;
    number = 0;
    while (pos < text.size() && digits < maxDigits &&
           std::isdigit(static_cast<unsigned char>(text[pos]))) {
        number = number * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

bool ReadField(std::string_view text, std::size_t& pos, char letter, std::size_t run,
               bool afterHour, TDateTime& v) {
    int number = 0;
    switch (letter) {
        case 'y':
            if (!ReadNumber(text, pos, run <= 2 ? 2 : 4, number)) return false;
            v.year = run <= 2 && number < 100 ? 2000 + number : number;
            return true;
        case 'm':
            if (!ReadNumber(text, pos, 2, number)) return false;
            (afterHour ? v.minute : v.month) = number;
            return true;
        case 'd':
            return ReadNumber(text, pos, 2, v.day);
        case 'h':
            return ReadNumber(text, pos, 2, v.hour);
        case 'n':
            return ReadNumber(text, pos, 2, v.minute);
        case 's':
            return ReadNumber(text, pos, 2, v.second);
        case 'z':
            return ReadNumber(text, pos, 3, v.millisecond);
        default:
            return false;
    }
}

bool IsFieldLetter(char c) {
    return c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 'n' || c == 's' || c == 'z';
}

}  // namespace

bool TryParseDateTime(std::string_view text, std::string_view pattern, TDateTime& value) {
    TDateTime v{1899, 12, 30};
    std::size_t pos = 0;
    bool afterHour = false;
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = pattern.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
            const std::string_view literal = pattern.substr(i + 1, end - i - 1);
            if (text.substr(pos, literal.size()) != literal) return false;
            pos += literal.size();
            i = end == pattern.size() ? end : end + 1;
            continue;
        }
        const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!IsFieldLetter(letter)) {
            if (pos >= text.size() || text[pos] != c) return false;
            ++pos;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() &&
               std::tolower(static_cast<unsigned char>(pattern[i + run])) == letter)
            ++run;
        if (!ReadField(text, pos, letter, run, afterHour, v)) return false;
        afterHour = letter == 'h';
        i += run;
    }
    if (pos != text.size() || !IsValid(v)) return false;
    value = v;
    return true;
}

}  // namespace nelvo::json_detail
