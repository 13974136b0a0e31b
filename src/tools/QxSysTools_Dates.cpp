// Local dates and the system's date-time patterns.
#include <mutex>

#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

std::mutex gNowLock;
std::function<TDateTime()> gNow;

TDateTime FromLocal(const platform::LocalTime& t) {
    return {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond};
}

std::string Padded(int value, int digits) {
    std::string text = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(text.size()) < digits)
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return value < 0 ? "-" + text : text;
}

}  // namespace

TDateTime Now() {
    std::function<TDateTime()> now;
    {
        std::lock_guard guard(gNowLock);
        now = gNow;
    }
    return now ? now() : FromLocal(platform::LocalTimeNow());
}

void SetNowFunction(std::function<TDateTime()> now) {
    std::lock_guard guard(gNowLock);
    gNow = std::move(now);
}

TDateTime DateOf(const TDateTime& value) {
    return {value.year, value.month, value.day};
}

double DateTimeToDouble(const TDateTime& value) {
    // Days from the civil date (proleptic Gregorian), counted from 1970-01-01, then moved to the
    // 1899-12-30 epoch (25569 days earlier).
    const int y = value.year - (value.month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (value.month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + value.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe - 719468 + 25569;
    const double seconds = value.hour * 3600.0 + value.minute * 60.0 + value.second +
                           value.millisecond / 1000.0;
    return static_cast<double>(days) + seconds / 86400.0;
}

// Letters are matched without regard to case; a run of one letter is one field. "m" right after
// an hour field means minutes.
std::string FormatDateTime(const std::string& format, const TDateTime& value) {
    std::string out;
    bool afterHour = false;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = format.find(c, i + 1);
            const std::size_t end = close == std::string::npos ? format.size() : close;
            out.append(format, i + 1, end - i - 1);
            i = end == format.size() ? end : end + 1;
            continue;
        }
        const char letter = UpperChar(c);
        std::size_t run = 1;
        while (i + run < format.size() && UpperChar(format[i + run]) == letter) ++run;
        const int width = run >= 2 ? 2 : 1;
        switch (letter) {
            case 'Y':
                out += run <= 2 ? Padded(value.year % 100, 2) : Padded(value.year, 4);
                break;
            case 'M':
                out += Padded(afterHour ? value.minute : value.month, width);
                break;
            case 'D':
                out += Padded(value.day, width);
                break;
            case 'H':
                out += Padded(value.hour, width);
                break;
            case 'N':
                out += Padded(value.minute, width);
                break;
            case 'S':
                out += Padded(value.second, width);
                break;
            case 'Z':
                out += Padded(value.millisecond, run >= 3 ? 3 : 1);
                break;
            case ':':
                out += ':';
                run = 1;
                break;
            default:
                out.append(format, i, run);
                break;
        }
        if (std::string_view("YMDHNSZ").find(letter) != std::string_view::npos)
            afterHour = letter == 'H';
        i += run;
    }
    return out;
}

std::string DateTimeToISO(const TDateTime& value) {
    return FormatDateTime("yyyy'-'mm'-'dd'T'hh':'nn':'ss'.'zzz'Z'", value);
}

TDateTime GetFileDateTime(const std::string& path) {
    const auto mtime = platform::FileModificationTime(path);
    return mtime ? FromLocal(platform::LocalTimeOf(*mtime)) : TDateTime{};
}

}  // namespace nelvo
