// What the user types: reals, road numbers and text for the tables' code page.
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host.h"
#include "platform/core.h"

namespace {

// A plain decimal number and nothing else: strtod alone would take "nan", "inf", "0x1p3" and
// stop silently at "12abc".
bool plainDecimal(const std::string& text) {
    std::size_t i = 0, digits = 0;
    const std::size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
    if (i < n && text[i] == '.')
        for (++i; i < n && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exponent = 0;
        for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) ++exponent;
        if (exponent == 0) return false;
    }
    return i == n;
}

std::string trimmed(const std::string& text) {
    const std::size_t a = text.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    const std::size_t b = text.find_last_not_of(" \t\r\n");
    return text.substr(a, b - a + 1);
}

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined. The
// bytes 0xA0..0xFF are the Unicode characters of the same number.
constexpr char32_t kHighCodes[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The next character of a UTF-8 text; false at a malformed sequence.
bool nextCharacter(const std::string& text, std::size_t& i, char32_t& c) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    int extra = 0;
    if (lead < 0x80) {
        c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F;
        extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F;
        extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07;
        extra = 3;
    } else {
        return false;
    }
    if (extra > 0 && i + static_cast<std::size_t>(extra) >= text.size()) return false;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char b = byte(i + static_cast<std::size_t>(k));
        if ((b & 0xC0) != 0x80) return false;
        c = (c << 6) | (b & 0x3F);
    }
    // Overlong forms and surrogates are not UTF-8.
    static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(extra) + 1;
    return true;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string realProblem(const std::string& text, double& value) {
    const std::string number = trimmed(text);
    if (!plainDecimal(number)) return (text.empty() ? "the empty text" : text) + " is not a number";
    value = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(value) || std::fabs(value) > kRealLimit) return text + " is out of range (-" + kRealLimitText + " to " + kRealLimitText + ")";
    return "";
}

bool parseReal(const std::string& text, double& value) {
    double parsed = 0.0;
    if (!realProblem(text, parsed).empty()) return false;
    value = parsed;
    return true;
}

std::string roadNumberProblem(const std::string& text) {
    const std::string number = trimmed(text);
    char* end = nullptr;
    errno = 0;
    const long road = std::strtol(number.c_str(), &end, 10);
    if (number.empty() || !end || *end != 0 || errno == ERANGE) return text + " is not a road number";
    if (road < 1) return "road numbers start at 1, not " + text;
    return "";
}

std::string countProblem(const std::string& text) {
    const std::string number = trimmed(text);
    char* end = nullptr;
    errno = 0;
    const long count = std::strtol(number.c_str(), &end, 10);
    if (number.empty() || !end || *end != 0 || errno == ERANGE || count < 0 || count > 2147483647L)
        return text + " is not a count (a whole number from 0)";
    return "";
}

void requireRoadNumber(int road) {
    // The library's own rule for the number of roads (read at its start-up): Roads/MaxRoads,
    // 1..10000, otherwise 100.
    int maxRoads = coreGetDefaultInt("Roads", "MaxRoads", 100);
    if (maxRoads < 1 || maxRoads > 10000) maxRoads = 100;
    if (road >= 1 && road <= maxRoads) return;
    throw UsageError("--road: road " + std::to_string(road) + " does not exist; roads are numbered 1 to " +
                     std::to_string(maxRoads) + " (Roads/MaxRoads)");
}

bool utf8ToCodePage(const std::string& utf8, std::string& bytes, std::string& why) {
    bytes.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t start = i;
        char32_t c = 0;
        if (!nextCharacter(utf8, i, c)) {
            why = "is not UTF-8 text";
            return false;
        }
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes += static_cast<char>(c);
            continue;
        }
        int code = -1;
        for (int k = 0; k < 32; ++k)
            if (kHighCodes[k] != 0 && kHighCodes[k] == c) code = 0x80 + k;
        if (code < 0) {
            why = "holds " + utf8.substr(start, i - start) + ", which the table's code page (Windows-1252) lacks";
            return false;
        }
        bytes += static_cast<char>(code);
    }
    return true;
}

std::string codePageToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        // The five bytes 1252 leaves undefined come out as the control characters of the same
        // number, as Windows converts them.
        const char32_t c = (b >= 0x80 && b < 0xA0 && kHighCodes[b - 0x80] != 0) ? kHighCodes[b - 0x80] : b;
        appendUtf8(out, c);
    }
    return out;
}

std::size_t utf8Length(const std::string& utf8) {
    std::size_t n = 0;
    for (const char ch : utf8) n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    return n;
}
