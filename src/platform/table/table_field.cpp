// Field values: reading the current record's text and numbers, and writing them as dBASE does.
#include "platform/table/table_internal.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace table_detail;

namespace {

char* fieldText(FIELD4* field) { return field->data->record.data() + field->offset; }

bool writable(FIELD4* field) {
    DATA4* data = field ? field->data : nullptr;
    return data && (data->appending || (!data->eof && data->recNo >= 1 && data->recNo <= data->recordCount));
}

void touched(FIELD4* field) { field->data->changed = true; }

// Right-aligns text (already without surrounding blanks) in the field; false when too long.
bool putRight(FIELD4* field, const std::string& text) {
    if (int(text.size()) > field->len) return false;
    char* out = fieldText(field);
    std::memset(out, ' ', size_t(field->len));
    std::memcpy(out + field->len - int(text.size()), text.data(), text.size());
    return true;
}

void putLeft(FIELD4* field, const char* text, size_t length) {
    char* out = fieldText(field);
    size_t n = std::min(length, size_t(field->len));
    std::memcpy(out, text, n);
    std::memset(out + n, ' ', size_t(field->len) - n);
}

std::string trimmedText(const char* text, size_t length) {
    size_t a = 0, b = length;
    while (a < b && (text[a] == ' ' || text[a] == '\0')) ++a;
    while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\0')) --b;
    return std::string(text + a, b - a);
}

// The number at the start of a field's text: blanks, then a sign, digits, a point and an
// exponent; anything else (asterisks of an overflowed field, letters) ends it. None gives 0.
double parseNumber(const char* text, size_t length) {
    char buffer[64];
    size_t i = 0, n = 0;
    while (i < length && text[i] == ' ') ++i;
    for (; i < length && n + 1 < sizeof buffer; ++i) {
        char c = text[i];
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E'))
            break;
        buffer[n++] = c;
    }
    buffer[n] = '\0';
    double value = std::strtod(buffer, nullptr);
    return std::isfinite(value) ? value : 0.0;
}

void assignNumber(FIELD4* field, double value) {
    switch (field->type) {
        case 'N':
        case 'F':
            formatNumber(value, field->len, field->dec, fieldText(field));
            break;
        case 'L':
            fieldText(field)[0] = value != 0.0 ? 'T' : 'F';
            break;
        default:
            formatNumber(value, field->len, 0, fieldText(field));
            break;
    }
    touched(field);
}

}  // namespace

namespace table_detail {

bool fieldIsNumeric(const FIELD4* field) { return field->type == 'N' || field->type == 'F'; }

double fieldNumber(const FIELD4* field, const char* record) {
    const char* text = record + field->offset;
    if (field->type == 'L') return (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y') ? 1.0 : 0.0;
    return parseNumber(text, size_t(field->len));
}

bool fieldLogical(const FIELD4* field, const char* record) {
    char c = record[field->offset];
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

void formatNumber(double value, int width, int dec, char* out) {
    std::memset(out, '*', size_t(width));
    if (!std::isfinite(value)) return;
    char text[400];
    for (int d = std::min(dec, 30); d >= 0; --d) {
        // Most values fit a 64-bit integer once scaled: their digits are written directly, which
        // is exact and several times faster than printf when keys are built for every record.
        double scaled = value * std::pow(10.0, d);
        if (std::fabs(scaled) < 9e15) {
            long long units = std::llround(scaled);  // halves away from zero, as dBASE rounds
            bool negative = units < 0;
            unsigned long long magnitude = negative ? 0ull - (unsigned long long)units : (unsigned long long)units;
            char digits[40];
            int n = 0;
            for (int place = 0; magnitude > 0 || place <= d; ++place) {
                if (place == d && d > 0) digits[n++] = '.';
                digits[n++] = char('0' + magnitude % 10);
                magnitude /= 10;
            }
            if (negative) digits[n++] = '-';  // a value that rounds to zero has no sign
            if (n <= width) {
                std::memset(out, ' ', size_t(width - n));
                for (int i = 0; i < n; ++i) out[width - 1 - i] = digits[i];
                return;
            }
            continue;
        }
        if (std::fabs(value) >= 1e300) break;
        // Halves round away from zero, as dBASE writes them (printf would round 0.125 to 0.12).
        double scale = std::pow(10.0, d);
        double rounded = std::fabs(value * scale) < 1e15 ? std::round(value * scale) / scale : value;
        int n = std::snprintf(text, sizeof text, "%.*f", d, rounded);
        if (n <= 0 || n >= int(sizeof text)) break;
        // A value that rounds to zero is written without its sign.
        if (text[0] == '-' && std::strspn(text + 1, "0.") == size_t(n - 1)) {
            std::memmove(text, text + 1, size_t(n));
            --n;
        }
        if (n <= width) {
            std::memset(out, ' ', size_t(width - n));
            std::memcpy(out + (width - n), text, size_t(n));
            return;
        }
    }
}

}  // namespace table_detail

FIELD4* d4field(DATA4* data, const char* name) {
    if (!data || !name) return nullptr;
    std::string wanted = trimmedText(name, std::strlen(name));
    for (auto& field : data->fields) {
        const std::string& have = field->name;
        if (have.size() == wanted.size() &&
            std::equal(have.begin(), have.end(), wanted.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
            }))
            return field.get();
    }
    return nullptr;
}

FIELD4* d4fieldJ(DATA4* data, int index) {
    if (!data || index < 1 || index > int(data->fields.size())) return nullptr;
    return data->fields[size_t(index - 1)].get();
}

const char* f4name(FIELD4* field) { return field ? field->name.c_str() : ""; }

const char* f4str(FIELD4* field) {
    if (!field) return "";
    field->text.assign(fieldText(field), size_t(field->len));
    return field->text.c_str();
}

char f4char(FIELD4* field) { return field ? fieldText(field)[0] : '\0'; }

double f4double(FIELD4* field) { return field ? fieldNumber(field, field->data->record.data()) : 0.0; }

long f4long(FIELD4* field) {
    double value = std::trunc(f4double(field));
    if (value >= double(LONG_MAX)) return LONG_MAX;
    if (value <= double(LONG_MIN)) return LONG_MIN;
    return long(value);
}

int f4int(FIELD4* field) {
    long value = f4long(field);
    return int(std::clamp<long>(value, INT_MIN, INT_MAX));
}

int f4len(FIELD4* field) { return field ? field->len : 0; }
int f4type(FIELD4* field) { return field ? field->type : 0; }
int f4decimals(FIELD4* field) { return field ? field->dec : 0; }
int f4true(FIELD4* field) { return field ? fieldLogical(field, field->data->record.data()) : 0; }

void f4assignN(FIELD4* field, const char* text, unsigned length) {
    if (!writable(field) || !text) return;
    length = unsigned(strnlen(text, length));
    if (fieldIsNumeric(field)) {
        // Numbers stay right-aligned, so that the field reads back and sorts as a number.
        std::string value = trimmedText(text, length);
        if (!putRight(field, value)) formatNumber(parseNumber(value.c_str(), value.size()), field->len, field->dec, fieldText(field));
    } else {
        putLeft(field, text, length);
    }
    touched(field);
}

void f4assign(FIELD4* field, const char* text) {
    if (text) f4assignN(field, text, unsigned(std::strlen(text)));
}

void f4assignChar(FIELD4* field, int character) {
    char text[2] = {char(character), '\0'};
    f4assignN(field, text, 1);
}

void f4assignLong(FIELD4* field, long value) {
    if (!writable(field)) return;
    if (field->type == 'C') {
        // A character field takes the number right-aligned, as dBASE does.
        std::string text = std::to_string(value);
        if (!putRight(field, text)) std::memset(fieldText(field), '*', size_t(field->len));
        touched(field);
        return;
    }
    assignNumber(field, double(value));
}

void f4assignInt(FIELD4* field, int value) { f4assignLong(field, value); }

void f4assignDouble(FIELD4* field, double value) {
    if (writable(field)) assignNumber(field, value);
}

void f4blank(FIELD4* field) {
    if (!writable(field)) return;
    std::memset(fieldText(field), ' ', size_t(field->len));
    touched(field);
}

void f4assignField(FIELD4* to, FIELD4* from) {
    if (!writable(to) || !from) return;
    const char* source = fieldText(from);
    std::string text = trimmedText(source, size_t(from->len));
    if (to->type == from->type && to->len == from->len && to->dec == from->dec) {
        std::memcpy(fieldText(to), source, size_t(to->len));
        touched(to);
    } else if (text.empty()) {
        f4blank(to);
    } else if (fieldIsNumeric(to)) {
        assignNumber(to, from->type == 'L' ? fieldNumber(from, from->data->record.data()) : parseNumber(text.c_str(), text.size()));
    } else if (to->type == 'L') {
        fieldText(to)[0] = from->type == 'L' ? source[0] : (parseNumber(text.c_str(), text.size()) != 0.0 ? 'T' : 'F');
        touched(to);
    } else if (fieldIsNumeric(from)) {
        f4assignN(to, text.c_str(), unsigned(text.size()));
    } else {
        putLeft(to, source, size_t(from->len));  // texts keep their leading blanks
        touched(to);
    }
}

char* c4trimN(char* text, int size) {
    if (!text || size <= 0) return text;
    size_t n = strnlen(text, size_t(size));
    if (n >= size_t(size)) n = size_t(size) - 1;
    text[n] = '\0';
    while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
    return text;
}

// ---------------------------------------------------------------------------------------------
// Checking a value before it is written

namespace {

// A plain decimal number: a sign, digits with at most one point, an exponent; nothing else
// (no hexadecimal, no "nan" or "inf", no thousands separators, nothing after it).
bool plainDecimal(const std::string& text, double& value) {
    size_t i = 0, digits = 0;
    const size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < n && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++digits;
    if (i < n && text[i] == '.')
        for (++i; i < n && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++digits;
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exponent = 0;
        for (; i < n && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++exponent;
        if (exponent == 0) return false;
    }
    if (i != n) return false;
    value = std::strtod(text.c_str(), nullptr);
    return true;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool validDate(int year, int month, int day) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

const char* numberText(int len, int dec, const std::string& text, std::string& stored) {
    double value = 0.0;
    if (!plainDecimal(text, value)) return "is not a number";
    if (!std::isfinite(value)) return "is too large for the field";
    // Written with the field's decimals in room enough; what the field can hold is judged after.
    char written[80];
    formatNumber(value, int(sizeof written) - 1, dec, written);
    written[sizeof written - 1] = '\0';
    stored = trimmedText(written, std::strlen(written));
    if (stored.empty() || stored[0] == '*' || int(stored.size()) > len) return "is too large for the field";
    if (std::strtod(stored.c_str(), nullptr) != value) return "has more decimals than the field keeps";
    return nullptr;
}

const char* logicalText(const std::string& text, std::string& stored) {
    const std::string word = lowerCase(text);
    if (word == "t" || word == "y" || word == "true" || word == "yes") stored = "T";
    else if (word == "f" || word == "n" || word == "false" || word == "no") stored = "F";
    else return "is not a logical value (T, F, Y or N)";
    return nullptr;
}

const char* dateText(const std::string& text, std::string& stored) {
    std::string digits = text;
    if (text.size() == 10 && text[4] == '-' && text[7] == '-') digits = text.substr(0, 4) + text.substr(5, 2) + text.substr(8, 2);
    if (digits.size() != 8 || !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return "is not a date (YYYYMMDD)";
    const int year = std::atoi(digits.substr(0, 4).c_str()), month = std::atoi(digits.substr(4, 2).c_str()),
              day = std::atoi(digits.substr(6, 2).c_str());
    if (!validDate(year, month, day)) return "is not a date (YYYYMMDD)";
    stored = digits;
    return nullptr;
}

}  // namespace

const char* f4valueProblem(int type, int len, int dec, const char* text, std::string& stored) {
    const std::string raw = text ? text : "";
    stored.clear();
    if (type == 'C') {
        // Texts keep their leading blanks, as f4assign keeps them; only the trailing ones are
        // padding.
        std::string kept = raw;
        while (!kept.empty() && kept.back() == ' ') kept.pop_back();
        if (int(kept.size()) > len) return "is longer than the field";
        stored = kept;
        return nullptr;
    }
    const std::string trimmed = trimmedText(raw.c_str(), raw.size());
    if (trimmed.empty()) return nullptr;
    switch (type) {
        case 'N':
        case 'F': return numberText(len, dec, trimmed, stored);
        case 'L': return logicalText(trimmed, stored);
        case 'D': return dateText(trimmed, stored);
        default: return "is for a field of a type that cannot be set";
    }
}

const char* f4numberProblem(int type, int len, int dec, double value) {
    if (!std::isfinite(value)) return "is not a finite number";
    if (type != 'N' && type != 'F' && type != 'C') return type == 'L' ? nullptr : "is for a field of a type that cannot be set";
    char written[400];
    formatNumber(value, len, type == 'C' ? 0 : dec, written);
    return written[0] == '*' ? "is too large for the field" : nullptr;
}

std::string f4refusal(FIELD4* field, const std::string& shown, const char* problem) {
    char text[160];
    if (!field) return shown + " " + (problem ? problem : "");
    std::snprintf(text, sizeof text, " (the field is %c, width %d, %d decimals)", char(field->type), field->len,
                  field->dec);
    return field->name + ": \"" + shown + "\" " + (problem ? problem : "") + text;
}
