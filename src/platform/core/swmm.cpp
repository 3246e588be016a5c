// The SWMM 5 input file as a list of lines grouped in sections.
#include "platform/core.h"
#include "core_internal.h"

using core_detail::sameText;
using core_detail::trimmed;

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

// "JUNCTIONS", "[JUNCTIONS]" and " [junctions] " all name the same section.
std::string bareSectionName(const char* section) {
    std::string name = trimmed(section ? section : "");
    if (!name.empty() && name.front() == '[') name.erase(0, 1);
    if (!name.empty() && name.back() == ']') name.pop_back();
    return trimmed(name);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lines

SWMM_LINE::SWMM_LINE(const char* text, const char* prefix, const char* lineEnd)
    : end_(lineEnd ? lineEnd : ""), prefix_(prefix ? prefix : "") {
    parse(text ? text : "");
}

SWMM_LINE::SWMM_LINE(const std::string& text, const char* prefix, const char* lineEnd)
    : end_(lineEnd ? lineEnd : ""), prefix_(prefix ? prefix : "") {
    parse(text);
}

void SWMM_LINE::parse(const std::string& t) {
    size_t keyStart = 0;
    while (keyStart < t.size() && isSpace(t[keyStart])) ++keyStart;
    size_t keyEnd = keyStart;
    while (keyEnd < t.size() && !isSpace(t[keyEnd])) ++keyEnd;
    lead_ = t.substr(0, keyStart);
    key_ = t.substr(keyStart, keyEnd - keyStart);
    data_ = t.substr(keyEnd);
}

void SWMM_LINE::changed() {
    if (auto* owner = dynamic_cast<SWMM_LIST*>(List())) owner->modified_ = true;
}

std::string SWMM_LINE::SectionName() const {
    return IsHeader() ? bareSectionName(key_.c_str()) : std::string();
}

void SWMM_LINE::DataSet(const char* data) {
    data_ = data ? data : "";
    // The data must stay apart from the key, or the two would read back as one key.
    if (!data_.empty() && !isSpace(data_[0]) && !key_.empty()) data_.insert(0, " ");
    changed();
}

void SWMM_LINE::SetKey(const char* key) {
    key_ = key ? key : "";
    if (lead_.empty()) lead_ = prefix_;
    changed();
}

void SWMM_LINE::SetText(const char* text) {
    parse(text ? text : "");
    changed();
}

int SWMM_LINE::FieldCount() const {
    int count = 0;
    bool inBlanks = true;
    bool first = true;
    for (char c : data_) {
        if (isSpace(c)) {
            // A leading run of blanks ends the (empty) first field.
            if (first) ++count;
            inBlanks = true;
        } else if (inBlanks) {
            ++count;
            inBlanks = false;
        }
        first = false;
    }
    return count;
}

std::string SWMM_LINE::Field(int index) const {
    if (index < 1) return std::string();
    int field = 1;
    size_t i = 0;
    // Field 1 runs from the start of the data to the first blank (empty when the data starts
    // with one); every later field is a run of non-blanks.
    while (true) {
        size_t start = i;
        while (i < data_.size() && !isSpace(data_[i])) ++i;
        if (field == index) return data_.substr(start, i - start);
        while (i < data_.size() && isSpace(data_[i])) ++i;
        if (i >= data_.size()) return std::string();
        ++field;
    }
}

int SWMM_LINE::GetField(int index, char* buffer, int size) const {
    bool exists = index >= 1 && index <= FieldCount();
    core_detail::copyOut(exists ? Field(index) : std::string(), buffer, size);
    return exists ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// The file

SWMM_LIST::SWMM_LIST(const char* path, const char* separator)
    : path_(path ? path : ""), separator_(separator ? separator : "  ") {
    Load();
}

int SWMM_LIST::Load() {
    Destroy();
    std::string bytes;
    bool read = !path_.empty() && core_detail::readWholeFile(path_, bytes);
    if (read)
        for (auto& raw : core_detail::splitLines(bytes))
            Append(new SWMM_LINE(raw.text, separator_.c_str(), raw.end.c_str()));
    modified_ = false;
    return read ? 1 : 0;
}

int SWMM_LIST::Save() {
    if (path_.empty()) return 0;
    if (!core_detail::writeWholeFile(path_, Contents())) return 0;
    modified_ = false;
    return 1;
}

std::string SWMM_LIST::Contents() const {
    std::string bytes;
    for (SWMM_LINE* line = FirstLine(); line; line = line->Next()) bytes += line->Text() + line->LineEnd();
    return bytes;
}

std::string SWMM_LIST::newLineEnd() const {
    for (SWMM_LINE* line = FirstLine(); line; line = line->Next())
        if (!line->LineEnd().empty()) return line->LineEnd();
    return "\n";
}

SWMM_LINE* SWMM_LIST::insertAfter(SWMM_LINE* anchor, const std::string& text) {
    std::string end = newLineEnd();
    if (anchor && anchor->LineEnd().empty()) anchor->SetLineEnd(end);
    auto* line = new SWMM_LINE(text.c_str(), separator_.c_str(), end.c_str());
    Add(line, anchor);
    return line;
}

// ---------------------------------------------------------------------------------------------
// Sections

SWMM_LINE* SWMM_LIST::FindSection(const char* section) const {
    std::string name = bareSectionName(section);
    if (name.empty()) return nullptr;
    for (SWMM_LINE* line = FirstLine(); line; line = line->Next())
        if (line->IsHeader() && sameText(line->SectionName(), name)) return line;
    return nullptr;
}

SWMM_LINE* SWMM_LIST::SectionLast(const char* section) const {
    SWMM_LINE* header = FindSection(section);
    if (!header) return nullptr;
    SWMM_LINE* last = header;
    for (SWMM_LINE* line = header->Next(); line && !line->IsHeader(); line = line->Next())
        if (!line->IsBlank()) last = line;
    return last;
}

int SWMM_LIST::GetSectionLimits(const char* section, int& first, int& last) const {
    first = last = -1;
    SWMM_LINE* header = FindSection(section);
    if (!header) return 0;
    SWMM_LINE* end = SectionLast(section);
    int index = 0;
    for (SWMM_LINE* line = FirstLine(); line; line = line->Next(), ++index) {
        if (line == header) first = index;
        if (line == end) {
            last = index;
            break;
        }
    }
    return 1;
}

SWMM_LINE* SWMM_LIST::FindLine(const char* section, const char* key) const {
    if (!key) return nullptr;
    std::string wanted = trimmed(key);
    SWMM_LINE* header = FindSection(section);
    for (SWMM_LINE* line = header ? header->Next() : nullptr; line && !line->IsHeader(); line = line->Next())
        if (!line->IsComment() && !line->IsBlank() && sameText(line->Key(), wanted)) return line;
    return nullptr;
}

std::vector<SWMM_LINE*> SWMM_LIST::SectionLines(const char* section) const {
    std::vector<SWMM_LINE*> lines;
    SWMM_LINE* header = FindSection(section);
    for (SWMM_LINE* line = header ? header->Next() : nullptr; line && !line->IsHeader(); line = line->Next())
        lines.push_back(line);
    return lines;
}

int SWMM_LIST::DeleteSection(const char* section) {
    int removed = 0;
    while (SWMM_LINE* header = FindSection(section)) {
        SWMM_LINE* line = header->Next();
        while (line && !line->IsHeader()) {
            SWMM_LINE* next = line->Next();
            Delete(line);
            line = next;
        }
        Delete(header);
        removed = 1;
    }
    return removed;
}

SWMM_LINE* SWMM_LIST::AppendNewSection(const char* section) {
    if (SWMM_LINE* header = FindSection(section)) return header;
    std::string name = bareSectionName(section);
    if (name.empty()) return nullptr;
    auto* tail = static_cast<SWMM_LINE*>(Tail());
    if (tail && !tail->IsBlank()) tail = insertAfter(tail, "");
    return insertAfter(tail, "[" + name + "]");
}

SWMM_LINE* SWMM_LIST::AppendNoKey(const char* section, const char* text) {
    SWMM_LINE* anchor = SectionLast(section);
    if (!anchor) anchor = AppendNewSection(section);
    if (!anchor) return nullptr;
    return insertAfter(anchor, text ? text : "");
}

SWMM_LINE* SWMM_LIST::Append(const char* section, const char* key, const char* data) {
    std::string d = data ? data : "";
    std::string text = separator_ + (key ? key : "") + (d.empty() || isSpace(d[0]) ? "" : " ") + d;
    return AppendNoKey(section, text.c_str());
}

SWMM_LINE* SWMM_LIST::InsertLine(SWMM_LINE* after, const char* text) {
    if (after && after->List() != this) return nullptr;
    return insertAfter(after, text ? text : "");
}

int SWMM_LIST::RemoveLine(SWMM_LINE* line) {
    return Delete(line);
}

int SWMM_LIST::GetString(const char* section, const char* key, const char* def, char* buffer, int size) const {
    SWMM_LINE* line = FindLine(section, key);
    core_detail::copyOut(line ? trimmed(line->Data()) : std::string(def ? def : ""), buffer, size);
    return line ? 1 : 0;
}

void SWMM_LIST::SetString(const char* section, const char* key, const char* value) {
    std::string v = value ? value : "";
    if (SWMM_LINE* line = FindLine(section, key)) {
        const std::string& data = line->Data();
        size_t blanks = 0;
        while (blanks < data.size() && isSpace(data[blanks])) ++blanks;
        std::string gap = blanks ? data.substr(0, blanks) : std::string(" ");
        if (gap + v != data) line->DataSet((gap + v).c_str());
        return;
    }
    Append(section, key, v.c_str());
}
