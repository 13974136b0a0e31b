#include <cstdio>

#include "web/U_WebServer_Routes.h"

namespace nelvo {

namespace {

struct TErrorCode {
    std::int32_t Status;
    int Code;
    const char* Text;
};

constexpr TErrorCode ErrorCodes[] = {
    {400, 4, "Некорректный формат параметров запроса"},
    {401, 6, "Передан некорректный идентификатор сессии"},
    {403, 3, "Передан недопустимый Origin"},
    {404, 1, "Метод API отсутствует"},
    {405, 2, "Метод вызова не допустим"},
    {423, 7, "Сервис заблокирован, идет процесс обновления"},
    {500, 99, "Внутренняя ошибка сервера"},
};

// The detail often is an exception message, which may hold quotes, backslashes or line breaks;
// escaped, it cannot end the string early or break the body for the page's JSON reader.
std::string EscapeJSONText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string ErrorBody(std::int32_t status, std::string_view detail) {
    for (const TErrorCode& entry : ErrorCodes) {
        if (entry.Status != status) continue;
        std::string text = entry.Text;
        if (status == 500 && !detail.empty()) text += " (" + EscapeJSONText(detail) + ")";
        return "{ \"code\" : \"" + std::to_string(entry.Code) + "\", \"text\" : \"" + text + "\" }";
    }
    return {};
}

}  // namespace nelvo
