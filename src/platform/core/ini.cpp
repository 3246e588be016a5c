// Line-preserving INI files.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

#include "platform/core.h"
#include "core_internal.h"

using core_detail::sameText;
using core_detail::trimmed;

// ---------------------------------------------------------------------------------------------
// Lines

namespace {

char firstNonBlank(const std::string& text) {
    for (char c : text)
        if (!core_detail::isBlank(c)) return c;
    return '\0';
}

}  // namespace

bool INI_LINE::IsSection() const {
    return firstNonBlank(text_) == '[';
}

bool INI_LINE::IsComment() const {
    return firstNonBlank(text_) == ';';
}

bool INI_LINE::IsBlank() const {
    return firstNonBlank(text_) == '\0';
}

bool INI_LINE::IsKey() const {
    return !IsSection() && !IsComment() && text_.find('=') != std::string::npos;
}

std::string INI_LINE::SectionName() const {
    if (!IsSection()) return std::string();
    size_t open = text_.find('[');
    size_t close = text_.find(']', open);
    return trimmed(text_.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
}

std::string INI_LINE::Key() const {
    if (!IsKey()) return std::string();
    return trimmed(text_.substr(0, text_.find('=')));
}

std::string INI_LINE::Value() const {
    if (!IsKey()) return std::string();
    return trimmed(text_.substr(text_.find('=') + 1));
}

// ---------------------------------------------------------------------------------------------
// The file

INI_LIST::INI_LIST(const char* path) {
    if (path && *path) {
        path_ = path;
        Load();
    }
}

void INI_LIST::SetFile(const char* path) {
    std::string next = path ? path : "";
    // Staying without a file keeps what was written in memory.
    if (next.empty() && path_.empty()) return;
    if (!next.empty() && coreNativePath(next.c_str()) == coreNativePath(path_.c_str())) {
        if (!modified_) Load();
        return;
    }
    if (modified_ && !path_.empty()) Save();
    path_ = next;
    Load();
}

int INI_LIST::Load() {
    Destroy();
    std::string bytes;
    bool read = !path_.empty() && core_detail::readWholeFile(path_, bytes);
    if (read) SetContents(bytes);
    modified_ = false;
    return read ? 1 : 0;
}

int INI_LIST::Save() {
    if (path_.empty()) return 0;
    if (!core_detail::writeWholeFile(path_, Contents())) return 0;
    modified_ = false;
    return 1;
}

std::string INI_LIST::Contents() const {
    std::string bytes;
    for (INI_LINE* line = FirstLine(); line; line = line->Next()) bytes += line->TextString() + line->LineEnd();
    return bytes;
}

void INI_LIST::SetContents(const std::string& bytes) {
    Destroy();
    for (auto& raw : core_detail::splitLines(bytes)) Append(new INI_LINE(raw.text, raw.end));
    modified_ = true;
}

std::string INI_LIST::newLineEnd() const {
    for (INI_LINE* line = FirstLine(); line; line = line->Next())
        if (!line->LineEnd().empty()) return line->LineEnd();
    return "\n";
}

INI_LINE* INI_LIST::insertAfter(INI_LINE* anchor, const std::string& text) {
    std::string end = newLineEnd();
    if (anchor && anchor->LineEnd().empty()) anchor->SetLineEnd(end);
    auto* line = new INI_LINE(text, end);
    Add(line, anchor);
    return line;
}

INI_LINE* INI_LIST::appendSection(const char* section) {
    return insertAfter(static_cast<INI_LINE*>(Tail()), "[" + std::string(section) + "]");
}

// ---------------------------------------------------------------------------------------------
// Finding

INI_LINE* INI_LIST::FindSection(const char* section) const {
    if (!section) return nullptr;
    for (INI_LINE* line = FirstLine(); line; line = line->Next())
        if (line->IsSection() && sameText(line->SectionName(), trimmed(section))) return line;
    return nullptr;
}

INI_LINE* INI_LIST::FindKey(const char* section, const char* key) const {
    if (!key) return nullptr;
    std::string wanted = trimmed(key);
    INI_LINE* header = FindSection(section);
    if (!header) return nullptr;
    for (INI_LINE* line = header->Next(); line && !line->IsSection(); line = line->Next())
        if (line->IsKey() && sameText(line->Key(), wanted)) return line;
    return nullptr;
}

INI_LINE* INI_LIST::SectionLast(const char* section) const {
    INI_LINE* header = FindSection(section);
    if (!header) return nullptr;
    INI_LINE* last = header;
    for (INI_LINE* line = header->Next(); line && !line->IsSection(); line = line->Next())
        if (!line->IsBlank()) last = line;
    return last;
}

std::vector<std::string> INI_LIST::SectionKeys(const char* section) const {
    std::vector<std::string> keys;
    INI_LINE* header = FindSection(section);
    for (INI_LINE* line = header ? header->Next() : nullptr; line && !line->IsSection(); line = line->Next())
        if (line->IsKey()) keys.push_back(line->Key());
    return keys;
}

std::vector<std::string> INI_LIST::SectionLines(const char* section) const {
    std::vector<std::string> lines;
    INI_LINE* header = FindSection(section);
    for (INI_LINE* line = header ? header->Next() : nullptr; line && !line->IsSection(); line = line->Next())
        if (!line->IsBlank() && !line->IsComment()) lines.push_back(line->TextString());
    return lines;
}

std::vector<std::string> INI_LIST::SectionNames() const {
    std::vector<std::string> names;
    for (INI_LINE* line = FirstLine(); line; line = line->Next())
        if (line->IsSection()) names.push_back(line->SectionName());
    return names;
}

// ---------------------------------------------------------------------------------------------
// Reading

std::string INI_LIST::GetString(const char* section, const char* key, const char* def) const {
    INI_LINE* line = FindKey(section, key);
    return line ? line->Value() : std::string(def ? def : "");
}

int INI_LIST::GetString(const char* section, const char* key, const char* def, char* buffer, int size) const {
    return core_detail::copyOut(GetString(section, key, def), buffer, size);
}

int INI_LIST::GetInt(const char* section, const char* key, int def) const {
    INI_LINE* line = FindKey(section, key);
    std::string value = line ? line->Value() : std::string();
    if (value.empty()) return def;
    long number = std::strtol(value.c_str(), nullptr, 10);
    if (number > 2147483647L) return 2147483647;
    if (number < -2147483647L - 1) return -2147483647 - 1;
    return static_cast<int>(number);
}

double INI_LIST::GetDouble(const char* section, const char* key, double def) const {
    INI_LINE* line = FindKey(section, key);
    std::string value = line ? line->Value() : std::string();
    if (value.empty()) return def;
    return std::strtod(value.c_str(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Writing

void INI_LIST::SetString(const char* section, const char* key, const char* value) {
    if (!section || !key || !*trimmed(key).c_str()) return;
    if (!value) {
        DeleteKey(section, key);
        return;
    }
    if (INI_LINE* line = FindKey(section, key)) {
        // Keep the line's own spelling and spacing up to where the value starts.
        const std::string& text = line->TextString();
        size_t start = text.find('=') + 1;
        while (start < text.size() && core_detail::isBlank(text[start])) ++start;
        std::string updated = text.substr(0, start) + value;
        if (updated != text) {
            line->SetText(updated);
            modified_ = true;
        }
        return;
    }
    INI_LINE* header = FindSection(section);
    if (!header) header = appendSection(trimmed(section).c_str());
    INI_LINE* anchor = header;
    for (INI_LINE* line = header->Next(); line && !line->IsSection(); line = line->Next())
        if (line->IsKey()) anchor = line;
    insertAfter(anchor, trimmed(key) + "=" + value);
}

void INI_LIST::SetStrings(const char* section, const std::vector<std::pair<std::string, std::string>>& values) {
    if (!section || values.empty()) return;
    INI_LINE* header = FindSection(section);
    if (!header) header = appendSection(trimmed(section).c_str());
    // Keys compare without regard to case, as FindKey compares them.
    auto fold = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    };
    std::unordered_map<std::string, INI_LINE*> lines;
    INI_LINE* anchor = header;
    for (INI_LINE* line = header->Next(); line && !line->IsSection(); line = line->Next())
        if (line->IsKey()) {
            lines.emplace(fold(line->Key()), line);
            anchor = line;
        }
    for (const auto& [rawKey, value] : values) {
        const std::string key = trimmed(rawKey);
        if (key.empty()) continue;
        auto found = lines.find(fold(key));
        if (found == lines.end()) {
            anchor = insertAfter(anchor, key + "=" + value);
            lines.emplace(fold(key), anchor);
            continue;
        }
        const std::string& text = found->second->TextString();
        size_t start = text.find('=') + 1;
        while (start < text.size() && core_detail::isBlank(text[start])) ++start;
        std::string updated = text.substr(0, start) + value;
        if (updated != text) {
            found->second->SetText(updated);
            modified_ = true;
        }
    }
}

std::vector<std::pair<std::string, std::string>> INI_LIST::SectionValues(const char* section) const {
    std::vector<std::pair<std::string, std::string>> values;
    INI_LINE* header = FindSection(section);
    for (INI_LINE* line = header ? header->Next() : nullptr; line && !line->IsSection(); line = line->Next())
        if (line->IsKey()) values.emplace_back(line->Key(), line->Value());
    return values;
}

void INI_LIST::SetInt(const char* section, const char* key, int value) {
    SetString(section, key, std::to_string(value).c_str());
}

void INI_LIST::SetDouble(const char* section, const char* key, double value, int decimals) {
    if (decimals < 0) decimals = 0;
    if (decimals > 15) decimals = 15;
    char text[512];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    SetString(section, key, text);
}

void TINIFile::WriteFloat(const char* section, const char* key, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    if (std::isfinite(value) && std::strtod(text, nullptr) != value) std::snprintf(text, sizeof text, "%.17g", value);
    WriteString(section, key, text);
}

int INI_LIST::DeleteSection(const char* section) {
    int removed = 0;
    while (INI_LINE* header = FindSection(section)) {
        INI_LINE* line = header->Next();
        while (line && !line->IsSection()) {
            INI_LINE* next = line->Next();
            Delete(line);
            line = next;
        }
        Delete(header);
        removed = 1;
    }
    return removed;
}

int INI_LIST::DeleteKey(const char* section, const char* key) {
    INI_LINE* line = FindKey(section, key);
    return line ? Delete(line) : 0;
}

int INI_LIST::RenameSection(const char* section, const char* newName) {
    INI_LINE* header = FindSection(section);
    if (!header || !newName) return 0;
    header->SetText("[" + trimmed(newName) + "]");
    modified_ = true;
    return 1;
}

INI_LINE* INI_LIST::AddLine(const char* section, const char* text) {
    if (!section) return nullptr;
    INI_LINE* anchor = SectionLast(section);
    if (!anchor) anchor = appendSection(trimmed(section).c_str());
    return insertAfter(anchor, text ? text : "");
}
