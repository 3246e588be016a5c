// Comma fields, text helpers, wildcard matching, message boxes and window placements.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "platform/core.h"
#include "platform/ui.h"
#include "core_internal.h"

namespace core_detail {

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trimmed(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b])) ++b;
    while (e > b && isBlank(text[e - 1])) --e;
    return text.substr(b, e - b);
}

int copyOut(const std::string& text, char* buffer, int size) {
    if (!buffer || size < 1) return 0;
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

}  // namespace core_detail

using core_detail::copyOut;
using core_detail::trimmed;

// ---------------------------------------------------------------------------------------------
// Comma fields

namespace {

// Field `index` (from 1) of the text, trimmed; false when the text has fewer fields or the field
// is blank.
bool findField(const char* text, int index, int separator, std::string& field) {
    field.clear();
    if (!text || index < 1) return false;
    const char* start = text;
    for (int i = 1; i < index; ++i) {
        start = std::strchr(start, separator);
        if (!start || separator == 0) return false;
        ++start;
    }
    const char* end = separator ? std::strchr(start, separator) : nullptr;
    field = trimmed(end ? std::string(start, end) : std::string(start));
    return !field.empty();
}

}  // namespace

int coreGetField(const char* text, const char* def, char* buffer, int size, int index, int separator) {
    std::string field;
    bool found = findField(text, index, separator, field);
    copyOut(found ? field : std::string(def ? def : ""), buffer, size);
    return found ? 1 : 0;
}

int coreGetFieldInt(const char* text, int def, int index, int separator) {
    std::string field;
    if (!findField(text, index, separator, field)) return def;
    char* end = nullptr;
    long value = std::strtol(field.c_str(), &end, 10);
    if (end == field.c_str()) return def;
    if (value > 2147483647L) return 2147483647;
    if (value < -2147483647L - 1) return -2147483647 - 1;
    return static_cast<int>(value);
}

double coreGetFieldDouble(const char* text, double def, int index, int separator) {
    std::string field;
    if (!findField(text, index, separator, field)) return def;
    char* end = nullptr;
    double value = std::strtod(field.c_str(), &end);
    return end == field.c_str() ? def : value;
}

// ---------------------------------------------------------------------------------------------
// Texts

char* coreStrncpy(char* dest, const char* src, int size) {
    copyOut(src ? src : "", dest, size);
    return dest;
}

char* coreTrimStr(char* text) {
    if (!text) return text;
    size_t length = std::strlen(text);
    size_t b = 0;
    while (b < length && core_detail::isBlank(text[b])) ++b;
    size_t e = length;
    while (e > b && core_detail::isBlank(text[e - 1])) --e;
    std::memmove(text, text + b, e - b);
    text[e - b] = '\0';
    return text;
}

int coreMatching(const char* pattern, const char* text, int length) {
    if (!pattern || !text) return 0;
    size_t textLength = std::strlen(text);
    if (length > 0 && static_cast<size_t>(length) < textLength) textLength = static_cast<size_t>(length);
    size_t patternLength = std::strlen(pattern);
    auto fold = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };

    // Greedy walk remembering the last '*': on a mismatch the star takes one more character.
    size_t p = 0, t = 0;
    size_t star = std::string::npos, starText = 0;
    while (t < textLength) {
        char pc = p < patternLength ? pattern[p] : '\0';
        char tc = text[t];
        bool single = p < patternLength &&
                      (pc == '?' || (pc == '#' && std::isdigit(static_cast<unsigned char>(tc))) ||
                       (pc != '*' && pc != '#' && fold(pc) == fold(tc)));
        if (single) {
            ++p;
            ++t;
        } else if (p < patternLength && pc == '*') {
            star = p++;
            starText = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++starText;
        } else {
            return 0;
        }
    }
    while (p < patternLength && pattern[p] == '*') ++p;
    return p == patternLength ? 1 : 0;
}

int corePosBinStr(const void* buffer, const char* text, int length) {
    if (!buffer || !text || length <= 0) return -1;
    size_t n = std::strlen(text);
    if (n == 0 || n > static_cast<size_t>(length)) return -1;
    const char* bytes = static_cast<const char*>(buffer);
    for (size_t i = 0; i + n <= static_cast<size_t>(length); ++i)
        if (bytes[i] == text[0] && std::memcmp(bytes + i, text, n) == 0) return static_cast<int>(i);
    return -1;
}

void coreRandomString(char* buffer, int count) {
    if (!buffer || count < 1) return;
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof alphabet) - 2);
    for (int i = 0; i < count; ++i) buffer[i] = alphabet[pick(engine)];
}

// ---------------------------------------------------------------------------------------------
// Messages

void ErrorMessage(const char* text, HWND owner) {
    AfxMessageBox(owner, text ? text : "", "Error", MB_OK | MB_ICONERROR);
}

void InfoMessage(const char* text, HWND owner) {
    AfxMessageBox(owner, text ? text : "", "Information", MB_OK | MB_ICONINFORMATION);
}

int ConfirmMessage(const char* text, HWND owner) {
    int answer = AfxMessageBox(owner, text ? text : "", "Confirm", MB_YESNO | MB_ICONQUESTION);
    return answer == IDYES ? IDYES : IDNO;
}

// ---------------------------------------------------------------------------------------------
// Window placements

int CWindowPlacement::Restore(const char* name, HWND window) {
    (void)window;
    if (!name || !*name) return 0;
    char text[128];
    coreGetDefault("WindowPlacement", name, "", text, static_cast<int>(sizeof text));
    if (!text[0]) return 0;
    show = coreGetFieldInt(text, show, 1, ',');
    left = coreGetFieldInt(text, left, 2, ',');
    top = coreGetFieldInt(text, top, 3, ',');
    right = coreGetFieldInt(text, right, 4, ',');
    bottom = coreGetFieldInt(text, bottom, 5, ',');
    return 1;
}

int CWindowPlacement::Save(const char* name, HWND window) {
    (void)window;
    if (!name || !*name) return 0;
    std::string text = std::to_string(show) + "," + std::to_string(left) + "," + std::to_string(top) +
                       "," + std::to_string(right) + "," + std::to_string(bottom);
    coreSetDefault("WindowPlacement", name, text.c_str());
    return 1;
}
