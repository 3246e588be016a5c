// Tables: the context, opening, creating and closing, record I/O through shapelib, pack and zap.
#include "platform/table/table_internal.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace fs = std::filesystem;
using namespace table_detail;

namespace {

// Shapelib always replaces a table's extension with ".dbf", while our tables carry their own
// (".SET", ".sew", ".dtn" ...). Its file hooks let us open the real path instead: the name it
// asks for is ignored, and no code page file is read or written beside the table.
std::string g_hookPath;

// The file under shapelib, with its position kept here: shapelib seeks before every record it
// reads, and a seek to where the file already is would cost a system call and the stdio buffer
// on every record of a table walked in order. A real seek is still made when reading follows
// writing or the other way round, as stdio requires.
//
// Every call goes through the core file wrappers, so a failed write is seen (and a test can
// inject one). Shapelib drops most write results (a record is written when the next one is
// loaded, the header at its update and close), so the first failure is kept in the table's
// error sink, where the table library reads it after each write and at the close.
struct HookFile {
    FILE* file;
    SAOffset position;
    int lastOp;       // 0 none or seeked, 1 read, 2 write
    int* errorSink;   // the errno of the first failed write, flush or close; may be null
    bool wrote;
};

// The sink of the next file shapelib opens.
int* g_hookSink = nullptr;

HookFile* hookFile(SAFile file) { return reinterpret_cast<HookFile*>(file); }

void noteFailure(HookFile* f) {
    if (f->errorSink && !*f->errorSink) *f->errorSink = coreFileLastError() ? coreFileLastError() : EIO;
}

// After a failed transfer the stream's position is unknown: it is asked again.
void refreshPosition(HookFile* f) {
    std::int64_t at = coreFileGetPointer(f->file);
    f->position = at < 0 ? 0 : SAOffset(at);
    f->lastOp = 0;
}

SAFile hookOpen(const char* name, const char* access) {
    size_t n = std::strlen(name);
    if (n < 4) return nullptr;
    std::string ext(name + n - 4);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".dbf") return nullptr;
    FILE* file = coreFileOpen(g_hookPath.c_str(), access);
    if (!file) return nullptr;
    auto* f = new (std::nothrow) HookFile{file, 0, 0, g_hookSink, false};
    if (!f) coreFileClose(file);
    return reinterpret_cast<SAFile>(f);
}

SAOffset hookRead(void* buffer, SAOffset size, SAOffset count, SAFile file) {
    HookFile* f = hookFile(file);
    if (f->lastOp == 2) coreFileSetPointer(0, std::int64_t(f->position), f->file);
    if (!coreFileBinRead(buffer, size_t(size * count), f->file)) {
        refreshPosition(f);
        return 0;
    }
    f->position += size * count;
    f->lastOp = 1;
    return count;
}

// After a failed write nothing more is written: shapelib would otherwise write the rest of
// its pending changes at the close (the header with a count of records that never arrived).
bool failedBefore(const HookFile* f) { return f->errorSink && *f->errorSink; }

SAOffset hookWrite(void* buffer, SAOffset size, SAOffset count, SAFile file) {
    HookFile* f = hookFile(file);
    if (failedBefore(f)) return 0;
    if (f->lastOp == 1) coreFileSetPointer(0, std::int64_t(f->position), f->file);
    f->wrote = true;
    if (!coreFileBinWrite(buffer, size_t(size * count), f->file)) {
        noteFailure(f);
        refreshPosition(f);
        return 0;
    }
    f->position += size * count;
    f->lastOp = 2;
    return count;
}

SAOffset hookSeek(SAFile file, SAOffset offset, int whence) {
    HookFile* f = hookFile(file);
    if (whence == SEEK_SET && offset == f->position && f->lastOp != 0) return 0;
    const int origin = whence == SEEK_CUR ? 1 : (whence == SEEK_END ? 2 : 0);
    if (!coreFileSetPointer(origin, std::int64_t(offset), f->file)) return SAOffset(-1);
    refreshPosition(f);
    return 0;
}

SAOffset hookTell(SAFile file) { return hookFile(file)->position; }

int hookFlush(SAFile file) {
    HookFile* f = hookFile(file);
    if (failedBefore(f)) return -1;
    if (coreFileFlush(f->file)) return 0;
    noteFailure(f);
    return -1;
}

// A table that was written is flushed to the disk at its close: the pack renames a new file
// over the table, and the network tables are copied back right after they close.
int hookClose(SAFile file) {
    HookFile* f = hookFile(file);
    bool ok = !f->wrote || coreFileFlush(f->file, true);
    if (!coreFileCloseChecked(f->file)) ok = false;
    if (!ok) noteFailure(f);
    delete f;
    return ok ? 0 : -1;
}

int hookRemove(const char*) { return 0; }

void hookError(const char*) {}  // failures reach the caller through the results instead

SAHooks tableHooks() {
    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    hooks.FOpen = hookOpen;
    hooks.FRead = hookRead;
    hooks.FWrite = hookWrite;
    hooks.FSeek = hookSeek;
    hooks.FTell = hookTell;
    hooks.FFlush = hookFlush;
    hooks.FClose = hookClose;
    hooks.Remove = hookRemove;
    hooks.Error = hookError;
    return hooks;
}

DBFHandle shpOpen(const std::string& path, const char* access, int* errorSink) {
    SAHooks hooks = tableHooks();
    g_hookPath = path;
    g_hookSink = errorSink;
    DBFHandle dbf = DBFOpenLL(path.c_str(), access, &hooks);
    g_hookSink = nullptr;
    return dbf;
}

DBFHandle shpCreate(const std::string& path, int languageDriver, int* errorSink) {
    SAHooks hooks = tableHooks();
    g_hookPath = path;
    g_hookSink = errorSink;
    std::string codePage = "LDID/" + std::to_string(languageDriver);
    DBFHandle dbf = DBFCreateLL(path.c_str(), codePage.c_str(), &hooks);
    g_hookSink = nullptr;
    return dbf;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Files named by the Windows programs that share these tables differ from ours in case only
// (".MDX" beside ".mdx"); when the exact name is missing, a name in the same folder that differs
// only in case is taken.
std::string existingPath(const std::string& path) {
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) return path;
    fs::path p(path);
    fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    std::string leaf = p.filename().string();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (equalNoCase(it->path().filename().string(), leaf) && it->is_regular_file(ec))
            return it->path().string();
    }
    return {};
}

struct FieldDescriptor {
    std::string name;
    char type;
    int len, dec;
};

struct TableLayout {
    std::vector<FieldDescriptor> fields;
    int headerLength = 0;
    int recordLength = 0;
    unsigned long headerCount = 0;   // the records the header promises
    long wholeRecords = 0;           // the whole records the file holds
    int languageDriver = 87;
};

unsigned readU16(const unsigned char* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }
unsigned long readU32(const unsigned char* p) {
    return (unsigned long)p[0] | (unsigned long)p[1] << 8 | (unsigned long)p[2] << 16 | (unsigned long)p[3] << 24;
}

// Shapelib believes the header, so it is checked against the file first: a header longer than
// the file or field descriptors that do not add up to the record length would make it read
// past what is there.
bool readLayout(const std::string& path, TableLayout& layout) {
    std::error_code ec;
    uintmax_t size = fs::file_size(path, ec);
    if (ec || size < 33) return false;
    FILE* f = coreFileOpen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char head[32];
    bool ok = coreFileBinRead(head, 32, f) == 1;
    layout.headerCount = readU32(head + 4);
    layout.headerLength = int(readU16(head + 8));
    layout.recordLength = int(readU16(head + 10));
    layout.languageDriver = head[29] ? head[29] : 87;
    if (!ok || layout.headerLength < 33 || uintmax_t(layout.headerLength) > size || layout.recordLength < 2) {
        coreFileClose(f);
        return false;
    }
    std::vector<unsigned char> descriptors(size_t(layout.headerLength) - 32);
    ok = coreFileBinRead(descriptors.data(), descriptors.size(), f) == 1;
    coreFileClose(f);
    if (!ok) return false;
    int total = 1;
    size_t at = 0;
    for (; at + 32 <= descriptors.size() && descriptors[at] != 0x0D; at += 32) {
        const unsigned char* d = descriptors.data() + at;
        char name[12] = {};
        std::memcpy(name, d, 11);
        FieldDescriptor fd{name, char(d[11]), int(d[16]), int(d[17])};
        if (fd.name.empty() || fd.len == 0 || !std::isalpha(static_cast<unsigned char>(fd.type))) return false;
        if (fd.type == 'C') fd.dec = 0;  // some writers keep the high byte of a long text's width here
        total += fd.len;
        layout.fields.push_back(fd);
    }
    if (layout.fields.empty() || total != layout.recordLength) return false;
    layout.wholeRecords = long(std::min<uintmax_t>(layout.headerCount,
                                                   (size - uintmax_t(layout.headerLength)) / uintmax_t(layout.recordLength)));
    return true;
}

// A header that promises more records than the file holds means records were lost (a cut file
// or a header written ahead of its records). Opening it anyway would hide the loss, and the
// next write of the header would make it final: the table is refused, with what is missing.
bool reportMissingRecords(const std::string& path, const TableLayout& layout) {
    if (layout.headerCount <= (unsigned long)layout.wholeRecords) return false;
    std::string text = "The table " + path + " is damaged: its header counts " + std::to_string(layout.headerCount) +
                       " records, but the file holds " + std::to_string(layout.wholeRecords) + ".";
    ErrorMessage(text.c_str(), nullptr);
    return true;
}

bool validFieldName(const char* name) {
    size_t n = std::strlen(name);
    if (n == 0 || n > 10 || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    for (size_t i = 0; i < n; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])) && name[i] != '_') return false;
    return true;
}

int checkFieldList(const FIELD4INFO* fields) {
    std::vector<std::string> seen;
    for (const FIELD4INFO* f = fields; f->name; ++f) {
        if (!validFieldName(f->name)) return e4fieldName;
        std::string upper(f->name);
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (std::find(seen.begin(), seen.end(), upper) != seen.end()) return e4fieldName;
        seen.push_back(upper);
        int len = f->len, dec = f->dec;
        switch (std::toupper(f->type)) {
            case 'C': if (len < 1 || len > 254) return e4fieldType; break;
            case 'N': case 'F':
                if (len < 1 || len > 20 || (dec > 0 && dec > len - 1)) return e4fieldType;
                break;
            case 'L': if (len != 1) return e4fieldType; break;
            case 'D': if (len != 8) return e4fieldType; break;
            default: return e4fieldType;
        }
    }
    return seen.empty() ? e4fieldName : 0;
}

void linkTable(CODE4* code, DATA4* data) {
    data->next = code->openTables;
    code->openTables = data;
}

void unlinkTable(DATA4* data) {
    for (DATA4** p = &data->code->openTables; *p; p = &(*p)->next) {
        if (*p == data) {
            *p = data->next;
            return;
        }
    }
}

// Opens the table file itself (no index) into data; 0, or why not.
int openTableFile(DATA4* data, const std::string& path) {
    TableLayout layout;
    if (!readLayout(path, layout) || reportMissingRecords(path, layout)) return e4data;
    data->writeError = 0;
    DBFHandle dbf = shpOpen(path, "rb+", &data->writeError);
    if (!dbf) dbf = shpOpen(path, "rb", &data->writeError);
    if (!dbf) return e4open;
    if (dbf->nFields != int(layout.fields.size()) || dbf->nRecordLength != layout.recordLength) {
        DBFClose(dbf);
        return e4data;
    }
    dbf->nRecords = int(layout.wholeRecords);
    // The end-of-file mark after the last record is written once, at close (finishAppends):
    // written after every appended record it would make each append seek back over it.
    DBFSetWriteEndOfFileChar(dbf, 0);
    data->grew = false;
    data->dbf = dbf;
    data->path = path;
    data->recordLength = layout.recordLength;
    data->recordCount = layout.wholeRecords;
    data->record.assign(size_t(data->recordLength), ' ');
    // Reopened after pack or zap: the field handles stay, since callers and tags hold them.
    if (!data->fields.empty()) return 0;
    int offset = 1;
    for (const FieldDescriptor& fd : layout.fields) {
        auto field = std::make_unique<FIELD4>();
        field->data = data;
        field->name = fd.name;
        field->type = char(std::toupper(static_cast<unsigned char>(fd.type)));
        field->len = fd.len;
        field->dec = fd.dec;
        field->offset = offset;
        offset += fd.len;
        data->fields.push_back(std::move(field));
    }
    return 0;
}

// Writes the records of keep (whole records, deletion byte first) as the table's new content:
// a new file beside the table, flushed to the disk at its close, then renamed over it, so that
// a failure leaves the table as it was.
int rewriteTable(DATA4* data, const std::vector<char>& keep) {
    // The new file is renamed over the table, which a read-only table must refuse.
    if (!coreFileCanWrite(data->path.c_str())) return e4write;
    long count = long(keep.size() / size_t(data->recordLength));
    std::string temporary = data->path + ".tmp~";
    int writeError = 0;
    DBFHandle out = shpCreate(temporary, data->dbf->iLanguageDriver ? data->dbf->iLanguageDriver : 87, &writeError);
    bool ok = out != nullptr;
    for (size_t i = 0; ok && i < data->fields.size(); ++i) {
        const FIELD4& f = *data->fields[i];
        ok = DBFAddNativeFieldType(out, f.name.c_str(), f.type, f.len, f.dec) >= 0;
    }
    if (ok) DBFUpdateHeader(out);
    if (out) DBFSetWriteEndOfFileChar(out, 0);
    for (long r = 0; ok && r < count; ++r)
        ok = DBFWriteTuple(out, int(r), const_cast<char*>(keep.data() + size_t(r) * size_t(data->recordLength))) != 0;
    if (out) {
        DBFSetWriteEndOfFileChar(out, 1);  // the last record, flushed by the close, ends the file
        DBFClose(out);
    }
    if (!ok || writeError) {
        coreFileDelete(temporary.c_str());
        return e4write;
    }
    DBFClose(data->dbf);
    data->dbf = nullptr;
    const bool renamed = coreFileRename(temporary.c_str(), data->path.c_str()) != 0;
    if (!renamed) coreFileDelete(temporary.c_str());
    int result = openTableFile(data, data->path);
    return result ? result : (renamed ? 0 : e4write);
}

}  // namespace

namespace table_detail {

void setError(CODE4* code, int error) {
    if (code && error < 0) code->errorCode = error;
}

std::string indexPathBeside(const std::string& tablePath) {
    fs::path p(tablePath);
    p.replace_extension(INDEX4_EXTENSION);
    return p.string();
}

bool readRecord(DATA4* data, long recNo, char* buffer) {
    if (!data->dbf || recNo < 1 || recNo > data->recordCount) return false;
    const char* tuple = DBFReadTuple(data->dbf, int(recNo - 1));
    if (!tuple) return false;
    std::memcpy(buffer, tuple, size_t(data->recordLength));
    return true;
}

bool writeRecord(DATA4* data, long recNo, const char* buffer) {
    if (!data->dbf || data->writeError) return false;
    bool ok = DBFWriteTuple(data->dbf, int(recNo - 1), const_cast<char*>(buffer)) != 0;
    if (ok && data->code && data->code->safety) DBFUpdateHeader(data->dbf);
    return ok && !data->writeError;
}

void standAtEof(DATA4* data) {
    data->recNo = data->recordCount + 1;
    data->eof = true;
    data->bof = false;
    data->changed = false;
    data->appended = false;
    std::fill(data->record.begin(), data->record.end(), ' ');
}

void loadCurrent(DATA4* data, long recNo) {
    if (!readRecord(data, recNo, data->record.data())) {
        setError(data->code, e4read);
        standAtEof(data);
        return;
    }
    data->recNo = recNo;
    data->eof = data->bof = false;
    data->changed = false;
}

int flushRecord(DATA4* data) {
    if (data->appending) {  // an append not completed by d4append is dropped when the table moves
        data->appending = false;
        data->changed = false;
        if (data->recNo >= 1 && data->recNo <= data->recordCount) loadCurrent(data, data->recNo);
        else standAtEof(data);
        return 0;
    }
    if (!data->changed) return 0;
    data->changed = false;
    if (data->recNo < 1 || data->recNo > data->recordCount) return 0;
    bool appended = data->appended;
    data->appended = false;
    if (!writeRecord(data, data->recNo, data->record.data())) {
        setError(data->code, e4write);
        if (appended) {  // the new record never reached the file
            --data->recordCount;
            standAtEof(data);
        }
        return e4write;
    }
    if (appended) tagsAddRecord(data, data->recNo, data->record.data());
    else tagsUpdateRecord(data, data->recNo, data->record.data());
    return 0;
}

}  // namespace table_detail

// ---- Context -----------------------------------------------------------------------------------

int code4initLow(CODE4* code, const char*, long, long) {
    if (!code) return e4parm;
    if (!code->initialised) code->openTables = nullptr;
    code->initialised = 1;
    code->autoOpen = code->errOpen = code->errTagName = code->safety = 1;
    code->errorCode = 0;
    return 0;
}

int code4initUndo(CODE4* code) {
    if (!code || !code->initialised) return 0;
    while (code->openTables) d4close(code->openTables);
    code->initialised = 0;
    return 0;
}

void* u4allocFreeDefault(CODE4* code, long bytes) {
    if (bytes <= 0) bytes = 1;
    void* memory = std::calloc(size_t(bytes), 1);
    if (!memory) setError(code, e4memory);
    return memory;
}

void u4freeDefault(void* memory) { std::free(memory); }

// ---- Tables ------------------------------------------------------------------------------------

DATA4* d4open(CODE4* code, const char* path) {
    if (!code) return nullptr;
    if (!code->initialised) code4initLow(code, nullptr, 0, 0);
    if (!path || !*path) {
        setError(code, e4parm);
        return nullptr;
    }
    std::string real = existingPath(path);
    if (real.empty()) {
        if (code->errOpen) setError(code, e4open);
        return nullptr;
    }
    auto data = std::make_unique<DATA4>();
    data->code = code;
    if (int error = openTableFile(data.get(), real)) {
        setError(code, error);
        return nullptr;
    }
    DATA4* table = data.release();
    linkTable(code, table);
    if (code->autoOpen) {
        std::string index = existingPath(indexPathBeside(real));
        if (!index.empty()) {
            // A damaged index file leaves the table open without tags; the error code says so.
            int autoError = code->errOpen;
            code->errOpen = 0;
            i4open(table, index.c_str());
            code->errOpen = autoError;
        }
    }
    d4top(table);
    return table;
}

DATA4* d4create(CODE4* code, const char* path, const FIELD4INFO* fields, const TAG4INFO* tags) {
    if (!code) return nullptr;
    if (!code->initialised) code4initLow(code, nullptr, 0, 0);
    if (!path || !*path || !fields) {
        setError(code, e4parm);
        return nullptr;
    }
    if (int error = checkFieldList(fields)) {
        setError(code, error);
        return nullptr;
    }
    // An open handle on the same file would write its old records over the new table later.
    for (DATA4* open = code->openTables; open; open = open->next) {
        std::error_code ec;
        if (fs::equivalent(open->path, path, ec)) {
            setError(code, e4create);
            return nullptr;
        }
    }
    std::error_code ec;
    fs::remove(path, ec);
    int writeError = 0;
    DBFHandle dbf = shpCreate(path, 87, &writeError);
    bool ok = dbf != nullptr;
    for (const FIELD4INFO* f = fields; ok && f->name; ++f) {
        std::string name(f->name);
        for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
        char type = char(std::toupper(f->type));
        ok = DBFAddNativeFieldType(dbf, name.c_str(), type, f->len, type == 'N' || type == 'F' ? f->dec : 0) >= 0;
    }
    if (ok) DBFUpdateHeader(dbf);  // writes the header, so that an empty table is a whole file
    if (dbf) DBFClose(dbf);
    if (!ok || writeError) {
        fs::remove(path, ec);
        setError(code, e4create);
        return nullptr;
    }
    auto data = std::make_unique<DATA4>();
    data->code = code;
    if (openTableFile(data.get(), path) != 0) {
        setError(code, e4create);
        return nullptr;
    }
    DATA4* table = data.release();
    linkTable(code, table);
    standAtEof(table);
    if (tags && tags->name) {
        if (!i4create(table, nullptr, tags)) {
            d4close(table);
            return nullptr;
        }
    } else {
        // A stale index file beside the new table would bring back tags of the old one.
        fs::remove(indexPathBeside(path), ec);
    }
    return table;
}

// Writes the last record again with the end-of-file mark after it, as dBASE files end.
static void finishAppends(DATA4* data) {
    if (!data->dbf || !data->grew || data->recordCount < 1) return;
    std::vector<char> last(size_t(data->recordLength));
    DBFSetWriteEndOfFileChar(data->dbf, 1);
    if (readRecord(data, data->recordCount, last.data())) writeRecord(data, data->recordCount, last.data());
    DBFSetWriteEndOfFileChar(data->dbf, 0);
    data->grew = false;
}

// 0, or e4write when a write, flush or close of the file failed since it was opened (the
// core file wrappers' last error then says why): the file may lack what was written.
int d4close(DATA4* data) {
    if (!data) return 0;
    flushRecord(data);
    finishAppends(data);
    if (data->dbf) DBFClose(data->dbf);
    data->dbf = nullptr;
    const int result = data->writeError ? e4write : 0;
    setError(data->code, result);
    unlinkTable(data);
    delete data;
    return result;
}

FIELD4INFO* d4fieldInfo(DATA4* data) {
    if (!data) return nullptr;
    size_t n = data->fields.size();
    size_t bytes = (n + 1) * sizeof(FIELD4INFO) + n * 12;
    auto* list = static_cast<FIELD4INFO*>(u4allocFreeDefault(data->code, long(bytes)));
    if (!list) return nullptr;
    char* names = reinterpret_cast<char*>(list + n + 1);
    for (size_t i = 0; i < n; ++i) {
        const FIELD4& f = *data->fields[i];
        char* name = names + i * 12;
        std::snprintf(name, 12, "%s", f.name.c_str());
        list[i] = FIELD4INFO{name, short(f.type), (unsigned short)f.len, (unsigned short)f.dec, 0};
    }
    return list;
}

int d4numFields(DATA4* data) { return data ? int(data->fields.size()) : 0; }

long d4recCount(DATA4* data) { return data ? data->recordCount : 0; }
long dfile4recCount(DATA4* data, long) { return d4recCount(data); }

// ---- Change ------------------------------------------------------------------------------------

void d4blank(DATA4* data) {
    if (!data) return;
    std::fill(data->record.begin(), data->record.end(), ' ');
    data->changed = true;
}

int d4appendStart(DATA4* data, int) {
    if (!data) return e4parm;
    std::vector<char> buffer = data->record;  // the new record starts as a copy of the current one
    flushRecord(data);
    data->record = buffer;
    data->record[0] = ' ';
    data->appending = true;
    return 0;
}

static int flushIfSafe(DATA4* data) {
    return data->code && data->code->safety ? flushRecord(data) : 0;
}

// The new record is written, and its keys made, when the table next moves or closes: the
// fields assigned after an append then cost one write instead of two.
static int appendRecord(DATA4* data) {
    data->recordCount += 1;
    data->recNo = data->recordCount;
    data->eof = data->bof = false;
    data->appending = false;
    data->appended = true;
    data->grew = true;
    data->changed = true;
    return flushIfSafe(data);
}

int d4append(DATA4* data) {
    if (!data) return e4parm;
    if (!data->appending) {
        std::vector<char> buffer = data->record;
        flushRecord(data);
        data->record = buffer;
        data->record[0] = ' ';
    }
    return appendRecord(data);
}

int d4appendBlank(DATA4* data) {
    if (!data) return e4parm;
    flushRecord(data);
    std::fill(data->record.begin(), data->record.end(), ' ');
    return appendRecord(data);
}

int d4flush(DATA4* data) {
    if (!data) return 0;
    int result = flushRecord(data);
    // The record and the header reach the file (a table never written is left alone).
    if (!result && data->dbf && data->dbf->bUpdated) DBFUpdateHeader(data->dbf);
    if (!result && data->writeError) setError(data->code, result = e4write);
    return result;
}

static int keepRecords(DATA4* data, long dropFirst, long dropLast, bool dropDeleted) {
    flushRecord(data);
    std::vector<char> keep;
    std::vector<char> buffer(size_t(data->recordLength));
    for (long r = 1; r <= data->recordCount; ++r) {
        if (r >= dropFirst && r <= dropLast) continue;
        if (!readRecord(data, r, buffer.data())) {
            setError(data->code, e4read);
            return e4read;
        }
        if (dropDeleted && buffer[0] == '*') continue;
        keep.insert(keep.end(), buffer.begin(), buffer.end());
    }
    int result = rewriteTable(data, keep);
    if (!data->dbf) {  // the file could not be opened again: the handle stays, empty
        data->recordCount = 0;
    }
    setError(data->code, result);
    std::vector<TAG4*> tags;
    for (auto& index : data->indexes)
        for (auto& tag : index->tags) tags.push_back(tag.get());
    buildTags(data, tags);
    d4top(data);
    return result;
}

int d4pack(DATA4* data) { return data ? keepRecords(data, 0, -1, true) : 0; }

int d4zap(DATA4* data, long startRecord, long endRecord) {
    if (!data) return 0;
    if (startRecord < 1) startRecord = 1;
    return keepRecords(data, startRecord, endRecord, false);
}

int d4lockAll(DATA4*) { return 0; }
int d4unlock(DATA4*) { return 0; }
