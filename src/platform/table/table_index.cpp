// Tags: key expressions, the in-memory orders, the index file of tag definitions, and seeking.
#include "platform/table/table_internal.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;
using namespace table_detail;

namespace {

std::string trimmed(const std::string& text) {
    size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    size_t b = text.find_last_not_of(" \t");
    return text.substr(a, b - a + 1);
}

std::string upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

const FIELD4* findField(DATA4* data, const std::string& name) {
    std::string wanted = upper(trimmed(name));
    for (auto& f : data->fields)
        if (upper(f->name) == wanted) return f.get();
    return nullptr;
}

bool parseCount(const std::string& text, int low, int high, int& value) {
    std::string t = trimmed(text);
    if (t.empty() || t.size() > 4 || !std::all_of(t.begin(), t.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return false;
    value = std::atoi(t.c_str());
    return value >= low && value <= high;
}

// "A+STR(B,4,0)+C": parts joined by '+' at the outer level; each a field name or
// STR(numeric field[, length[, decimals]]).
bool parseExpression(DATA4* data, const std::string& expression, TAG4& tag) {
    std::vector<std::string> pieces;
    int depth = 0;
    std::string piece;
    for (char c : expression) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (depth < 0) return false;
        if (c == '+' && depth == 0) {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (depth != 0) return false;
    pieces.push_back(piece);
    tag.parts.clear();
    tag.keyLen = 0;
    for (const std::string& raw : pieces) {
        std::string p = trimmed(raw);
        KeyPart part;
        std::string head = upper(p.substr(0, 4));
        if (head == "STR(" && p.back() == ')') {
            std::string inner = p.substr(4, p.size() - 5);
            std::vector<std::string> args;
            size_t start = 0;
            for (size_t comma; (comma = inner.find(',', start)) != std::string::npos; start = comma + 1)
                args.push_back(inner.substr(start, comma - start));
            args.push_back(inner.substr(start));
            if (args.size() > 3) return false;
            part.field = findField(data, args[0]);
            part.isStr = true;
            part.len = 10;
            part.dec = 0;
            if (args.size() > 1 && !parseCount(args[1], 1, 64, part.len)) return false;
            if (args.size() > 2 && !parseCount(args[2], 0, 30, part.dec)) return false;
            if (!part.field || !fieldIsNumeric(part.field)) return false;
        } else {
            part.field = findField(data, p);
            if (!part.field) return false;
            part.len = part.field->len;
        }
        tag.parts.push_back(part);
        tag.keyLen += part.len;
    }
    return tag.keyLen > 0 && tag.keyLen <= 1024;
}

// Empty, a logical field, DELETED(), each optionally after .NOT. or !.
bool parseFilter(DATA4* data, const std::string& filter, TAG4& tag) {
    std::string f = upper(trimmed(filter));
    tag.filterField = nullptr;
    tag.filterNot = tag.filterDeleted = false;
    if (f.empty()) return true;
    if (f.rfind(".NOT.", 0) == 0) {
        tag.filterNot = true;
        f = trimmed(f.substr(5));
    } else if (f[0] == '!') {
        tag.filterNot = true;
        f = trimmed(f.substr(1));
    }
    if (f == "DELETED()") {
        tag.filterDeleted = true;
        return true;
    }
    tag.filterField = findField(data, f);
    return tag.filterField && tag.filterField->type == 'L';
}

std::unique_ptr<TAG4> makeTag(DATA4* data, INDEX4* index, const TAG4INFO& info) {
    auto tag = std::make_unique<TAG4>();
    tag->index = index;
    tag->name = upper(trimmed(info.name ? info.name : ""));
    tag->expression = info.expression ? info.expression : "";
    tag->filter = info.filter ? info.filter : "";
    tag->unique = info.unique != 0;
    tag->descending = info.descending != 0;
    if (tag->name.empty() || !parseExpression(data, tag->expression, *tag) || !parseFilter(data, tag->filter, *tag))
        return nullptr;
    return tag;
}

void computeKey(const TAG4& tag, const char* record, char* out) {
    for (const KeyPart& part : tag.parts) {
        if (part.isStr) formatNumber(fieldNumber(part.field, record), part.len, part.dec, out);
        else std::memcpy(out, record + part.field->offset, size_t(part.len));
        out += part.len;
    }
}

bool computeQualifies(const TAG4& tag, const char* record) {
    bool value = true;
    if (tag.filterDeleted) value = record[0] == '*';
    else if (tag.filterField) value = fieldLogical(tag.filterField, record);
    else return true;
    return tag.filterNot ? !value : value;
}

void markPending(TAG4& tag, uint32_t recNo) {
    if (!tag.isPending[recNo - 1]) {
        tag.isPending[recNo - 1] = 1;
        tag.pending.push_back(recNo);
    }
}

// Sorts record numbers into tag order. The first eight key characters travel with each record
// number as one integer, so that most comparisons touch neither the keys nor memcmp.
void sortRecords(const TAG4* tag, std::vector<uint32_t>& records) {
    struct Item {
        uint64_t prefix;
        uint32_t recNo;
    };
    size_t head = std::min<size_t>(8, size_t(tag->keyLen));
    std::vector<Item> items(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const unsigned char* key = reinterpret_cast<const unsigned char*>(tag->keyOf(records[i]));
        uint64_t prefix = 0;
        for (size_t b = 0; b < 8; ++b) prefix = prefix << 8 | (b < head ? key[b] : 0u);
        items[i] = Item{prefix, records[i]};
    }
    bool descending = tag->descending;
    size_t rest = size_t(tag->keyLen) - head;
    std::sort(items.begin(), items.end(), [tag, descending, head, rest](const Item& a, const Item& b) {
        if (a.prefix != b.prefix) return descending ? a.prefix > b.prefix : a.prefix < b.prefix;
        if (rest) {
            int c = std::memcmp(tag->keyOf(a.recNo) + head, tag->keyOf(b.recNo) + head, rest);
            if (c != 0) return descending ? c > 0 : c < 0;
        }
        return a.recNo < b.recNo;
    });
    for (size_t i = 0; i < items.size(); ++i) records[i] = items[i].recNo;
}

std::vector<TAG4*> allTags(DATA4* data) {
    std::vector<TAG4*> tags;
    for (auto& index : data->indexes)
        for (auto& tag : index->tags) tags.push_back(tag.get());
    return tags;
}

// ---- The index file: the tag definitions, checked by length and checksum --------------------

const char kMagic[8] = {'D', 'B', 'T', 'A', 'G', 'S', '0', '1'};

uint32_t checksum(const std::string& bytes) {
    uint32_t h = 2166136261u;
    for (unsigned char c : bytes) h = (h ^ c) * 16777619u;
    return h;
}

void putU16(std::string& out, size_t v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}
void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
}

bool writeIndexFile(const INDEX4& index) {
    std::string bytes(kMagic, sizeof kMagic);
    putU32(bytes, uint32_t(index.tags.size()));
    for (const auto& tag : index.tags) {
        bytes += char(tag->unique ? 1 : 0);
        bytes += char(tag->descending ? 1 : 0);
        for (const std::string* s : {&tag->name, &tag->expression, &tag->filter}) {
            putU16(bytes, s->size());
            bytes += *s;
        }
    }
    putU32(bytes, checksum(bytes));
    FILE* f = coreFileOpen(index.path.c_str(), "wb");
    if (!f) return false;
    bool ok = coreFileBinWrite(bytes.data(), bytes.size(), f) == 1;
    return coreFileCloseChecked(f) && ok;
}

struct TagDefinition {
    std::string name, expression, filter;
    short unique;
    unsigned short descending;
};

bool readIndexFile(const std::string& path, std::vector<TagDefinition>& definitions) {
    std::error_code ec;
    uintmax_t size = fs::file_size(path, ec);
    if (ec || size < sizeof kMagic + 8 || size > (1u << 20)) return false;
    std::string bytes(size_t(size), '\0');
    FILE* f = coreFileOpen(path.c_str(), "rb");
    if (!f) return false;
    bool ok = coreFileBinRead(bytes.data(), bytes.size(), f) == 1;
    coreFileClose(f);
    if (!ok || bytes.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0) return false;
    auto byte = [&](size_t at) { return uint32_t(static_cast<unsigned char>(bytes[at])); };
    size_t body = bytes.size() - 4;
    uint32_t stored = byte(body) | byte(body + 1) << 8 | byte(body + 2) << 16 | byte(body + 3) << 24;
    if (stored != checksum(bytes.substr(0, body))) return false;
    size_t at = sizeof kMagic;
    uint32_t count = byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24;
    at += 4;
    if (count > 4096) return false;
    for (uint32_t i = 0; i < count; ++i) {
        if (at + 2 > body) return false;
        TagDefinition d;
        d.unique = short(byte(at));
        d.descending = (unsigned short)byte(at + 1);
        at += 2;
        for (std::string* s : {&d.name, &d.expression, &d.filter}) {
            if (at + 2 > body) return false;
            size_t len = byte(at) | byte(at + 1) << 8;
            at += 2;
            if (at + len > body) return false;
            *s = bytes.substr(at, len);
            at += len;
        }
        definitions.push_back(d);
    }
    return at == body;
}

INDEX4* findIndex(DATA4* data, const std::string& path) {
    std::error_code ec;
    for (auto& index : data->indexes)
        if (index->path == path || fs::equivalent(index->path, path, ec)) return index.get();
    return nullptr;
}

std::string indexPathFor(DATA4* data, const char* path) {
    return path && *path ? std::string(path) : indexPathBeside(data->path);
}

std::string existingIndexPath(const std::string& path) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return path;
    // The same case-blind fallback as for tables: ".MDX" written by one program, ".mdx" by another.
    fs::path p(path);
    fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::string leaf = upper(p.filename().string());
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (upper(it->path().filename().string()) == leaf && it->is_regular_file(ec)) return it->path().string();
    return {};
}

}  // namespace

// ---- Keeping the orders --------------------------------------------------------------------------

int TAG4::compareRecords(uint32_t a, uint32_t b) const {
    int c = std::memcmp(keyOf(a), keyOf(b), size_t(keyLen));
    if (descending) c = -c;
    if (c != 0) return c;
    return a < b ? -1 : (a > b ? 1 : 0);
}

namespace table_detail {

void tagsAddRecord(DATA4* data, long recNo, const char* record) {
    for (TAG4* tag : allTags(data)) {
        size_t n = size_t(recNo);
        tag->keys.resize(n * size_t(tag->keyLen), ' ');
        tag->qualifies.resize(n, 0);
        tag->member.resize(n, 0);
        tag->isPending.resize(n, 0);
        computeKey(*tag, record, tag->keys.data() + (n - 1) * size_t(tag->keyLen));
        tag->qualifies[n - 1] = computeQualifies(*tag, record);
        markPending(*tag, uint32_t(recNo));
    }
}

void tagsUpdateRecord(DATA4* data, long recNo, const char* record) {
    std::vector<char> key;
    for (TAG4* tag : allTags(data)) {
        if (size_t(recNo) > tag->member.size()) continue;
        key.resize(size_t(tag->keyLen));
        computeKey(*tag, record, key.data());
        bool qualifies = computeQualifies(*tag, record);
        char* stored = tag->keys.data() + size_t(recNo - 1) * size_t(tag->keyLen);
        if (std::memcmp(stored, key.data(), key.size()) == 0 && bool(tag->qualifies[recNo - 1]) == qualifies) continue;
        std::memcpy(stored, key.data(), key.size());
        tag->qualifies[recNo - 1] = qualifies;
        markPending(*tag, uint32_t(recNo));
    }
}

// Merges the changed records into the order: those already there leave it, those that pass the
// filter come back at their new place. In a unique tag a key already held stays with its
// record; among new records with one key the lowest record number wins.
void settleTag(TAG4* tag) {
    if (tag->pending.empty()) return;
    auto less = [tag](uint32_t a, uint32_t b) { return tag->compareRecords(a, b) < 0; };
    std::vector<uint32_t> kept;
    kept.reserve(tag->order.size() + tag->pending.size());
    for (uint32_t r : tag->order) {
        if (tag->isPending[r - 1]) tag->member[r - 1] = 0;
        else kept.push_back(r);
    }
    std::vector<uint32_t> added;
    for (uint32_t r : tag->pending)
        if (tag->qualifies[r - 1]) added.push_back(r);
    sortRecords(tag, added);
    std::vector<uint32_t> merged(kept.size() + added.size());
    std::merge(kept.begin(), kept.end(), added.begin(), added.end(), merged.begin(), less);
    if (tag->unique) {
        std::vector<uint32_t> distinct;
        distinct.reserve(merged.size());
        for (size_t i = 0; i < merged.size();) {
            size_t j = i + 1;
            while (j < merged.size() && std::memcmp(tag->keyOf(merged[i]), tag->keyOf(merged[j]), size_t(tag->keyLen)) == 0) ++j;
            uint32_t winner = merged[i];
            for (size_t k = i; k < j; ++k)
                if (!tag->isPending[merged[k] - 1]) winner = merged[k];
            distinct.push_back(winner);
            i = j;
        }
        merged.swap(distinct);
    }
    for (uint32_t r : tag->pending) tag->isPending[r - 1] = 0;
    tag->pending.clear();
    for (uint32_t r : merged) tag->member[r - 1] = 1;
    tag->order.swap(merged);
}

// Reads every record once and builds the given tags from scratch.
bool buildTags(DATA4* data, const std::vector<TAG4*>& tags) {
    if (tags.empty()) return true;
    size_t count = size_t(data->recordCount);
    for (TAG4* tag : tags) {
        tag->keys.assign(count * size_t(tag->keyLen), ' ');
        tag->qualifies.assign(count, 0);
        tag->member.assign(count, 0);
        tag->isPending.assign(count, 0);
        tag->pending.clear();
        tag->order.clear();
    }
    std::vector<char> buffer(size_t(data->recordLength));
    bool ok = true;
    for (size_t r = 1; r <= count; ++r) {
        if (!readRecord(data, long(r), buffer.data())) {
            ok = false;  // an unreadable record keeps a blank key and stays out of the orders
            continue;
        }
        for (TAG4* tag : tags) {
            computeKey(*tag, buffer.data(), tag->keys.data() + (r - 1) * size_t(tag->keyLen));
            tag->qualifies[r - 1] = computeQualifies(*tag, buffer.data());
        }
    }
    for (TAG4* tag : tags) {
        for (size_t r = 1; r <= count; ++r)
            if (tag->qualifies[r - 1]) tag->order.push_back(uint32_t(r));
        sortRecords(tag, tag->order);
        if (tag->unique) {
            auto sameKey = [tag](uint32_t a, uint32_t b) {
                return std::memcmp(tag->keyOf(a), tag->keyOf(b), size_t(tag->keyLen)) == 0;
            };
            tag->order.erase(std::unique(tag->order.begin(), tag->order.end(), sameKey), tag->order.end());
        }
        for (uint32_t r : tag->order) tag->member[r - 1] = 1;
    }
    if (!ok) setError(data->code, e4read);
    return ok;
}

// The place of a record in the order: its index when it is there (exact), otherwise the index
// of the first record after where its key would be.
int tagPosition(TAG4* tag, uint32_t recNo, bool* exact) {
    settleTag(tag);
    auto it = std::lower_bound(tag->order.begin(), tag->order.end(), recNo,
                               [tag](uint32_t a, uint32_t b) { return tag->compareRecords(a, b) < 0; });
    *exact = it != tag->order.end() && *it == recNo;
    return int(it - tag->order.begin());
}

}  // namespace table_detail

// ---- Order -------------------------------------------------------------------------------------

TAG4* d4tag(DATA4* data, const char* name) {
    if (!data || !name) return nullptr;
    std::string wanted = upper(trimmed(name));
    for (TAG4* tag : allTags(data))
        if (tag->name == wanted) return tag;
    if (data->code && data->code->errTagName) setError(data->code, e4tagName);
    return nullptr;
}

TAG4* d4tagNext(DATA4* data, TAG4* tag) {
    if (!data) return nullptr;
    std::vector<TAG4*> tags = allTags(data);
    if (!tag) return tags.empty() ? nullptr : tags.front();
    auto it = std::find(tags.begin(), tags.end(), tag);
    return it == tags.end() || it + 1 == tags.end() ? nullptr : *(it + 1);
}

void d4tagSelect(DATA4* data, TAG4* tag) {
    if (!data) return;
    data->selected = tag && tag->index && tag->index->data == data ? tag : nullptr;
}

TAG4* d4tagSelected(DATA4* data) { return data ? data->selected : nullptr; }

TAG4* d4tagDefault(DATA4* data) {
    if (!data) return nullptr;
    return data->selected ? data->selected : d4tagNext(data, nullptr);
}

const char* t4alias(TAG4* tag) { return tag ? tag->name.c_str() : ""; }
const char* t4expr(TAG4* tag) { return tag ? tag->expression.c_str() : ""; }
int t4keyLen(TAG4* tag) { return tag ? tag->keyLen : 0; }

static bool prefixEqual(TAG4* tag, uint32_t recNo, const char* key, size_t n) {
    return std::memcmp(tag->keyOf(recNo), key, n) == 0;
}

// Index of the first record whose key, on the seek key's length, is not before the key.
static size_t seekPosition(TAG4* tag, const char* key, size_t n) {
    settleTag(tag);
    auto it = std::lower_bound(tag->order.begin(), tag->order.end(), key, [tag, n](uint32_t r, const char* k) {
        int c = std::memcmp(tag->keyOf(r), k, n);
        return tag->descending ? c > 0 : c < 0;
    });
    return size_t(it - tag->order.begin());
}

static int standInOrder(DATA4* data, TAG4* tag, size_t pos, bool found) {
    if (pos >= tag->order.size()) {
        standAtEof(data);
        return r4eof;
    }
    loadCurrent(data, long(tag->order[pos]));
    return found ? r4success : r4after;
}

int d4seek(DATA4* data, const char* key) {
    if (!data || !key) return e4parm;
    flushRecord(data);
    TAG4* tag = d4tagDefault(data);
    if (!tag) return r4noTag;
    size_t n = std::min(std::strlen(key), size_t(tag->keyLen));
    size_t pos = seekPosition(tag, key, n);
    bool found = pos < tag->order.size() && prefixEqual(tag, tag->order[pos], key, n);
    return standInOrder(data, tag, pos, found);
}

int d4seekDouble(DATA4* data, double key) {
    if (!data) return e4parm;
    TAG4* tag = d4tagDefault(data);
    if (!tag) return r4noTag;
    const KeyPart& part = tag->parts.front();
    std::string text(size_t(part.len), ' ');
    formatNumber(key, part.len, part.isStr ? part.dec : part.field->dec, text.data());
    return d4seek(data, text.c_str());
}

int d4seekNext(DATA4* data, const char* key) {
    if (!data || !key) return e4parm;
    flushRecord(data);
    TAG4* tag = d4tagDefault(data);
    if (!tag) return r4noTag;
    size_t n = std::min(std::strlen(key), size_t(tag->keyLen));
    if (data->eof || data->recNo < 1 || data->recNo > data->recordCount) return d4seek(data, key);
    bool exact = false;
    size_t pos = size_t(tagPosition(tag, uint32_t(data->recNo), &exact));
    if (!exact || !prefixEqual(tag, uint32_t(data->recNo), key, n)) return d4seek(data, key);
    ++pos;
    bool found = pos < tag->order.size() && prefixEqual(tag, tag->order[pos], key, n);
    return standInOrder(data, tag, pos, found);
}

// ---- Index files ---------------------------------------------------------------------------------

INDEX4* i4open(DATA4* data, const char* path) {
    if (!data) return nullptr;
    std::string wanted = indexPathFor(data, path);
    std::string real = existingIndexPath(wanted);
    if (real.empty()) {
        if (data->code && data->code->errOpen) setError(data->code, e4open);
        return nullptr;
    }
    if (INDEX4* open = findIndex(data, real)) return open;
    std::vector<TagDefinition> definitions;
    if (!readIndexFile(real, definitions)) {
        setError(data->code, e4index);
        return nullptr;
    }
    flushRecord(data);
    auto index = std::make_unique<INDEX4>();
    index->data = data;
    index->path = real;
    std::vector<TAG4*> built;
    for (const TagDefinition& d : definitions) {
        TAG4INFO info{d.name.c_str(), d.expression.c_str(), d.filter.c_str(), d.unique, d.descending};
        std::unique_ptr<TAG4> tag = makeTag(data, index.get(), info);
        if (!tag) {  // the definitions do not fit this table: treated like a damaged file
            setError(data->code, e4index);
            return nullptr;
        }
        built.push_back(tag.get());
        index->tags.push_back(std::move(tag));
    }
    buildTags(data, built);
    data->indexes.push_back(std::move(index));
    return data->indexes.back().get();
}

INDEX4* i4create(DATA4* data, const char* path, const TAG4INFO* tags) {
    if (!data) return nullptr;
    std::string wanted = indexPathFor(data, path);
    auto index = std::make_unique<INDEX4>();
    index->data = data;
    index->path = wanted;
    std::vector<TAG4*> built;
    for (const TAG4INFO* info = tags; info && info->name; ++info) {
        std::unique_ptr<TAG4> tag = makeTag(data, index.get(), *info);
        if (!tag) {
            setError(data->code, e4expr);
            return nullptr;
        }
        bool duplicate = std::any_of(index->tags.begin(), index->tags.end(), [&](auto& t) { return t->name == tag->name; });
        if (duplicate) continue;
        built.push_back(tag.get());
        index->tags.push_back(std::move(tag));
    }
    if (INDEX4* open = findIndex(data, wanted)) i4close(open);
    if (!writeIndexFile(*index)) {
        setError(data->code, e4create);
        return nullptr;
    }
    flushRecord(data);
    buildTags(data, built);
    data->indexes.push_back(std::move(index));
    return data->indexes.back().get();
}

TAG4INFO* i4tagInfo(INDEX4* index) {
    if (!index) return nullptr;
    size_t n = index->tags.size();
    size_t bytes = (n + 1) * sizeof(TAG4INFO);
    for (auto& tag : index->tags) bytes += tag->name.size() + tag->expression.size() + tag->filter.size() + 3;
    auto* list = static_cast<TAG4INFO*>(u4allocFreeDefault(index->data->code, long(bytes)));
    if (!list) return nullptr;
    char* text = reinterpret_cast<char*>(list + n + 1);
    auto keep = [&text](const std::string& s) {
        char* at = text;
        std::memcpy(at, s.c_str(), s.size() + 1);
        text += s.size() + 1;
        return at;
    };
    for (size_t i = 0; i < n; ++i) {
        const TAG4& tag = *index->tags[i];
        list[i].name = keep(tag.name);
        list[i].expression = keep(tag.expression);
        list[i].filter = keep(tag.filter);
        list[i].unique = tag.unique ? r4uniqueContinue : 0;
        list[i].descending = tag.descending ? r4descending : 0;
    }
    return list;
}

int i4tagAdd(INDEX4* index, const TAG4INFO* tags) {
    if (!index) return e4parm;
    DATA4* data = index->data;
    std::vector<std::unique_ptr<TAG4>> added;
    for (const TAG4INFO* info = tags; info && info->name; ++info) {
        std::unique_ptr<TAG4> tag = makeTag(data, index, *info);
        if (!tag) {
            setError(data->code, e4expr);
            return e4expr;
        }
        auto same = [&](auto& t) { return t->name == tag->name; };
        if (std::any_of(index->tags.begin(), index->tags.end(), same) || std::any_of(added.begin(), added.end(), same))
            continue;
        added.push_back(std::move(tag));
    }
    flushRecord(data);
    std::vector<TAG4*> built;
    for (auto& tag : added) {
        built.push_back(tag.get());
        index->tags.push_back(std::move(tag));
    }
    buildTags(data, built);
    if (!writeIndexFile(*index)) {
        setError(data->code, e4write);
        return e4write;
    }
    return 0;
}

int i4close(INDEX4* index) {
    if (!index) return 0;
    DATA4* data = index->data;
    if (data->selected && data->selected->index == index) data->selected = nullptr;
    auto it = std::find_if(data->indexes.begin(), data->indexes.end(), [index](auto& i) { return i.get() == index; });
    if (it != data->indexes.end()) data->indexes.erase(it);
    return 0;
}

INDEX4* d4index(DATA4* data, const char* path) {
    if (!data) return nullptr;
    std::string real = existingIndexPath(indexPathFor(data, path));
    return real.empty() ? nullptr : findIndex(data, real);
}

int d4reindex(DATA4* data) {
    if (!data) return 0;
    flushRecord(data);
    return buildTags(data, allTags(data)) ? 0 : e4read;
}
