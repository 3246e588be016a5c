// The strings file: the subsystem's state, the accessor, opening and closing, slot access,
// headers, vertex data and deletion.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "frame/state.h"
#include "platform/core.h"
#include "strings/strings_internal.h"

namespace {

void resetStringsState();

StringsState& rawState() {
    static StringsState state;
    return state;
}

void resetStringsState() {
    StringsState& s = rawState();
    s.accessor.reset();
    s.ownFile = strCloseStream(s.ownFile);
    strIndexForgetAll();
    s.namedStream = nullptr;
    s.namedStreamName.clear();
}

// The reason the last failed call of the file wrappers gives.
const char* lastFileError() {
    return coreFileLastError() != 0 ? coreFileLastErrorText() : std::strerror(EIO);
}

// The name of the file a stream reaches, for the messages.
std::string streamName(FILE* stream) {
    const StringsState& s = rawState();
    if (stream && stream == s.ownFile) return dbfState().strings.name;
    if (s.accessor && s.accessor->Stream() == stream && *s.accessor->FileName()) return s.accessor->FileName();
    if (stream && stream == s.namedStream) return s.namedStreamName;
    return "(a strings file)";
}

std::string format(const char* text, long long a, long long b = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, text, a, b);
    return buffer;
}

// A blank file record: every number 0, vertex kind ' '.
STR_VERTEX blankRecord() {
    STR_VERTEX record{};
    record.vertexKind = ' ';
    return record;
}

bool isBlank(const STR_VERTEX& v) {
    return dblIsZero(v.chainage) && dblIsZero(v.x) && dblIsZero(v.y) && dblIsZero(v.offset) &&
           dblIsZero(v.rise) && dblIsZero(v.slope);
}

void terminate(char* field, std::size_t size) { field[size - 1] = '\0'; }

constexpr std::int64_t slotPosition(int k) {
    return kStrFileHeaderBytes + static_cast<std::int64_t>(k) * kStrSlotBytes;
}

}  // namespace

StringsState& stringsState() {
    static const int registered = dbfRegisterStatePart(resetStringsState);
    (void)registered;
    return rawState();
}

FILE* strResolve(FILE* stream) { return stream ? stream : stringsState().ownFile; }

std::string strStreamName(FILE* stream) { return streamName(strResolve(stream)); }

// ---------------------------------------------------------------------------------------------
// Records on disk

STR_FILEHEADER strNewFileHeader() {
    STR_FILEHEADER header{};
    header.version = kStrVersion;
    return header;
}

int strReadFileHeader(FILE* stream, STR_FILEHEADER& header) {
    if (!coreFileSetPointer(0, 0, stream)) return 0;
    return coreFileBinRead(&header, sizeof header, stream);
}

int strWriteFileHeader(FILE* stream, const STR_FILEHEADER& header) {
    return strWriteAt(stream, 0, &header, sizeof header);
}

int strWriteAt(FILE* stream, std::int64_t position, const void* data, std::size_t size) {
    if (!stream) return 0;
    coreFileClearError();
    const bool written =
        coreFileSetPointer(0, position, stream) && coreFileBinWrite(data, size, stream) && coreFileFlush(stream);
    strIndexNoteWrite(stream, position, data, size, written);
    if (written) return 1;
    const std::string name = streamName(stream);
    ErrorMessage(dbfFormatText("Unable to write to the strings file %s\n%s", name.c_str(), lastFileError()),
                 dbfOwner());
    return 0;
}

int strReadHeader(FILE* stream, std::int64_t position, STR_HEADER& header) {
    if (position < kStrFileHeaderBytes || !coreFileSetPointer(0, position, stream)) return 0;
    if (!coreFileBinRead(&header, sizeof header, stream)) return 0;
    terminate(header.name, sizeof header.name);
    terminate(header.note, sizeof header.note);
    terminate(header.kind, sizeof header.kind);
    terminate(header.firstChild, sizeof header.firstChild);
    terminate(header.secondChild, sizeof header.secondChild);
    terminate(header.previousSection, sizeof header.previousSection);
    terminate(header.nextSection, sizeof header.nextSection);
    return 1;
}

int strWriteHeader(FILE* stream, std::int64_t position, const STR_HEADER& header) {
    if (position < kStrFileHeaderBytes) return 0;
    return strWriteAt(stream, position, &header, sizeof header);
}

int strWriteBlankVertices(FILE* stream, std::int64_t position) {
    STR_VERTEX blanks[kStrSlotVertices];
    std::fill(std::begin(blanks), std::end(blanks), blankRecord());
    return strWriteAt(stream, position + kStrHeaderBytes, blanks, sizeof blanks);
}

std::string strFileDamage(FILE* stream) {
    const std::int64_t length = coreFileLength(stream);
    if (length < kStrFileHeaderBytes) return "The file is shorter than its 12-byte header";
    if (length > 0xFFFFFFFFll) return "The file is longer than its slot positions can reach";
    STR_FILEHEADER fileHeader;
    if (!strReadFileHeader(stream, fileHeader)) return "The file header cannot be read";
    if (fileHeader.version != kStrVersion)
        return format("The file header gives version %lld (a strings file is version %lld)", fileHeader.version,
                      kStrVersion);
    const std::int64_t body = length - kStrFileHeaderBytes;
    const std::int64_t rest = body % kStrSlotBytes;
    if (rest != 0 && rest < kStrHeaderBytes)
        return format("The last slot ends %lld bytes into its 222-byte header", rest);
    const std::int64_t slots = body / kStrSlotBytes + (rest != 0 ? 1 : 0);
    if (fileHeader.count < 0 || fileHeader.count > slots)
        return format("The file header counts %lld strings in %lld slots", fileHeader.count, slots);
    for (std::int64_t k = 0; k < slots; ++k) {
        const std::int64_t position = slotPosition(static_cast<int>(k));
        STR_HEADER slot;
        if (!coreFileSetPointer(0, position, stream) || !coreFileBinRead(&slot, sizeof slot, stream))
            return format("The header of slot %lld cannot be read", k + 1);
        for (const char* field : {slot.name, slot.firstChild, slot.secondChild, slot.previousSection,
                                  slot.nextSection})
            if (!std::memchr(field, '\0', 32)) return format("A name in slot %lld is not terminated", k + 1);
        if (slot.vertexCount < 0 || slot.vertexCount > kStrSlotVertices)
            return format("Slot %lld claims %lld vertices (a slot holds 50)", k + 1, slot.vertexCount);
        if (position + kStrHeaderBytes + static_cast<std::int64_t>(slot.vertexCount) * kStrVertexBytes > length)
            return format("The vertices of slot %lld run past the end of the file", k + 1);
    }
    return std::string();
}

FILE* strOpenChecked(const char* fileName) {
    coreFileClearError();
    FILE* file = coreFileOpen(fileName, "r+b");
    strIndexForget(file);   // a stream at the address of one closed elsewhere starts afresh
    if (!file) {
        ErrorMessage(dbfFormatText("Unable to open the strings file %s\n%s", fileName, lastFileError()), dbfOwner());
        return nullptr;
    }
    const std::string damage = strFileDamage(file);
    if (damage.empty()) return file;
    // Refused before anything is written: the file keeps its bytes.
    strCloseStream(file);
    ErrorMessage(dbfFormatText("Corruption detected in the strings file %s\n%s", fileName, damage.c_str()),
                 dbfOwner());
    return nullptr;
}

bool strNameIs(const char* field, const char* name) {
    return name && std::strncmp(field, name, 32) == 0;
}

void strSetName(char* field, const char* name) { coreStrncpy(field, name ? name : "", 32); }

int strSlotLimit(FILE* stream) {
    const std::int64_t length = coreFileLength(stream);
    if (length <= kStrFileHeaderBytes) return 1;
    return static_cast<int>((length - kStrFileHeaderBytes + kStrSlotBytes - 1) / kStrSlotBytes) + 1;
}

namespace {

enum class Match { Name, Child };

bool matches(const STR_HEADER& slot, const char* name, Match match) {
    return match == Match::Name ? strNameIs(slot.name, name)
                                : strNameIs(slot.firstChild, name) || strNameIs(slot.secondChild, name);
}

// The search through the index: the slot number and its header as read, -1 when no slot has
// the name, -2 when the index cannot answer (it is dropped when the slot it gives does not hold
// the name).
int indexedFind(FILE* stream, const char* name, Match match, STR_HEADER& header) {
    const int k = match == Match::Name
                      ? strIndexFind(stream, {SlotField::Name}, name, -1)
                      : strIndexFind(stream, {SlotField::FirstChild, SlotField::SecondChild}, name, -1);
    if (k < 0) return k;
    STR_HEADER slot;
    if (strReadHeader(stream, slotPosition(k), slot) && matches(slot, name, match)) {
        header = slot;
        return k;
    }
    strIndexForget(stream);
    return -2;
}

// Every search finds the first slot in file order, as a scan from offset 12 until a read fails
// would: through the index, or by that scan when the file cannot be indexed.
DWORD scanFor(FILE* stream, const char* name, Match match, STR_HEADER& header) {
    if (!stream || !name) return 0;
    const int k = indexedFind(stream, name, match, header);
    if (k >= 0) return static_cast<DWORD>(slotPosition(k));
    if (k == -1) {
        dbfInitHeader(header);
        return 0;
    }
    STR_HEADER slot;
    for (int k = 0;; ++k) {
        const std::int64_t position = slotPosition(k);
        if (position > 0xFFFFFFFFll || !strReadHeader(stream, position, slot)) break;
        if (matches(slot, name, match)) {
            header = slot;
            return static_cast<DWORD>(position);
        }
    }
    dbfInitHeader(header);
    return 0;
}

}  // namespace

DWORD strFindHeader(FILE* stream, const char* name, STR_HEADER& header) {
    return scanFor(stream, name, Match::Name, header);
}

// ---------------------------------------------------------------------------------------------
// The accessor

CStringFile::CStringFile(FILE* stream, const char* fileName) : header(strNewFileHeader()) {
    Attach(stream, fileName);
}

void CStringFile::Attach(FILE* stream, const char* fileName) {
    // A stream newly attached may be a new file at the address of one closed by its caller.
    if (stream != stream_) strIndexForget(strResolve(stream));
    stream_ = stream;
    if (FILE* file = Stream()) {
        STR_FILEHEADER read;
        if (strReadFileHeader(file, read)) header = read;
    }
    if (fileName && *fileName) coreStrncpy(fileName_, fileName, MAX_PATH);
}

FILE* CStringFile::Stream() const { return strResolve(stream_); }

const char* CStringFile::FileName() const {
    return stream_ ? fileName_ : dbfState().strings.name;
}

int CStringFile::WriteHeader() { return strWriteFileHeader(Stream(), header); }

CStringFile* dbfStringAccessor(FILE* stream, const char* fileName) {
    StringsState& s = stringsState();
    if (!s.accessor)
        s.accessor = std::make_unique<CStringFile>(stream, fileName);
    else
        s.accessor->Attach(stream, fileName);
    return s.accessor.get();
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

int dbfStringOpenFile(const char* fileName) {
    if (!fileName || !*fileName) return 0;
    StringsState& s = stringsState();
    if (s.ownFile && !dbfStringCloseFile()) return 0;
    DBFSTATE& state = dbfState();
    coreStrncpy(state.strings.name, fileName, MAX_PATH);

    FILE* file = nullptr;
    if (coreFileExist(fileName)) {
        file = strOpenChecked(fileName);
        if (!file) {
            state.strings.name[0] = '\0';
            return 0;
        }
    } else {
        coreFileClearError();
        file = coreFileOpen(fileName, "w+b");
        strIndexForget(file);
        if (!file) {
            ErrorMessage(dbfFormatText("Unable to create the strings file %s\n%s", fileName, lastFileError()),
                         dbfOwner());
            state.strings.name[0] = '\0';
            return 0;
        }
        s.ownFile = file;   // so that a failed write names the file
        if (!strWriteFileHeader(file, strNewFileHeader())) {
            s.ownFile = strCloseStream(file);
            // A file without its whole header would be refused at the next open.
            coreFileDelete(fileName);
            state.strings.name[0] = '\0';
            return 0;
        }
    }
    s.ownFile = file;
    state.strings.flag = 1;
    return 1;
}

FILE* dbfStringFile() { return stringsState().ownFile; }

FILE* strCloseStream(FILE* stream) {
    strIndexForget(stream);
    return coreFileClose(stream);
}

int dbfStringCloseFile() {
    StringsState& s = stringsState();
    if (!s.ownFile) return 1;
    coreFileSetPointer(0, 0, s.ownFile);
    dbfStringsClose();
    s.ownFile = strCloseStream(s.ownFile);
    dbfState().strings.flag = 0;
    return 1;
}

FILE* viewStringOpenFile(const char* fileName, STR_FILEHEADER& header) {
    if (!fileName || !*fileName) return nullptr;
    FILE* file = strOpenChecked(fileName);
    if (!file) return nullptr;
    if (!strReadFileHeader(file, header)) return strCloseStream(file);
    StringsState& s = stringsState();
    s.namedStream = file;
    s.namedStreamName = fileName;
    return file;
}

void dbfStringsNew(FILE* stream, const char* fileName) {
    StringsState& s = stringsState();
    s.accessor.reset();
    s.accessor = std::make_unique<CStringFile>(stream, fileName);
}

void dbfResetStringFile(FILE* stream, const char* fileName) { dbfStringAccessor(stream, fileName); }

int dbfStringsClose() {
    stringsState().accessor.reset();
    return 1;
}

void dbfStringExport(FILE* stream, const char* fileName) { dbfStringAccessor(stream, fileName); }

// ---------------------------------------------------------------------------------------------
// Headers

void dbfInitHeader(STR_HEADER& header) {
    header = STR_HEADER{};
    std::memcpy(header.kind, "LINE", 4);
    header.needsRecalc = 1;
    header.boxMinX = 0x7FFFFFFF;
    header.boxMinY = 0x7FFFFFFF;
    header.boxMaxX = -0x7FFFFFFF;
    header.boxMaxY = -0x7FFFFFFF;
}

namespace {

// The box of the vertices stored in the slot alone (empty when none can be read).
void recomputeBox(FILE* stream, DWORD position, STR_HEADER& header) {
    header.boxMinX = header.boxMinY = 0x7FFFFFFF;
    header.boxMaxX = header.boxMaxY = -0x7FFFFFFF;
    if (!position) return;
    UI_LIST vertices;
    strReadData(stream, position, vertices, 1);
    // Integer limits of the box; positions beyond them are clamped rather than overflowing.
    auto clampInt = [](double v) {
        if (!(v > -2147483647.0)) return -2147483647;   // NaN too
        if (v > 2147483647.0) return 2147483647;
        return static_cast<int>(v);
    };
    // The header is packed: work on aligned copies of its box.
    int minX = header.boxMinX, minY = header.boxMinY, maxX = header.boxMaxX, maxY = header.boxMaxY;
    for (UI_ELEMENT* e = vertices.Head(); e; e = e->Next()) {
        const auto* v = static_cast<const CVertexEle*>(e);
        minX = std::min(minX, clampInt(std::floor(v->x)));
        minY = std::min(minY, clampInt(std::floor(v->y)));
        maxX = std::max(maxX, clampInt(std::ceil(v->x)));
        maxY = std::max(maxY, clampInt(std::ceil(v->y)));
    }
    header.boxMinX = minX;
    header.boxMinY = minY;
    header.boxMaxX = maxX;
    header.boxMaxY = maxY;
}

}  // namespace

DWORD strAddHeader(CStringFile& accessor, STR_HEADER& header) {
    FILE* stream = accessor.Stream();
    terminate(header.name, sizeof header.name);
    terminate(header.firstChild, sizeof header.firstChild);
    terminate(header.secondChild, sizeof header.secondChild);
    if (strNameIs(header.firstChild, header.name) || strNameIs(header.secondChild, header.name)) {
        ErrorMessage(dbfFormatText("Data inconsistency in string %s\nParent and child have same name",
                                   header.name),
                     dbfOwner());
        return 0;
    }
    if (!stream) return 0;

    DWORD firstFree = 0;
    DWORD target = 0;
    bool reused = false;
    std::int64_t end = kStrFileHeaderBytes;
    // The slot of the same name, else the first deleted one, else the end: from the index when
    // the file can be indexed, else by a scan.
    constexpr std::int64_t kLastAdded = 0xFFFFFFFFll - kStrSlotBytes;
    int same = strIndexFind(stream, {SlotField::Name}, header.name, -1);
    if (same >= 0 && slotPosition(same) > kLastAdded) same = -1;
    const int free = same == -1 ? strIndexFind(stream, {SlotField::Name}, kStrDeletedName, -1) : -2;
    const int slots = strIndexSlots(stream);
    const bool indexed = slots >= 0 && (same >= 0 || free != -2);
    if (indexed) {
        end = slotPosition(slots);
        if (same >= 0) {
            target = static_cast<DWORD>(slotPosition(same));
            reused = true;
            --accessor.header.count;
        } else if (free >= 0 && slotPosition(free) <= kLastAdded) {
            firstFree = static_cast<DWORD>(slotPosition(free));
        }
    }
    STR_HEADER slot;
    for (int k = 0; !indexed; ++k) {
        const std::int64_t position = slotPosition(k);
        end = position;
        if (position > kLastAdded || !strReadHeader(stream, position, slot)) break;
        if (!firstFree && strNameIs(slot.name, kStrDeletedName)) firstFree = static_cast<DWORD>(position);
        if (strNameIs(slot.name, header.name)) {
            target = static_cast<DWORD>(position);
            reused = true;
            --accessor.header.count;
            break;
        }
    }
    bool appended = false;
    if (!target) {
        if (firstFree) {
            target = firstFree;
            reused = true;
        } else {
            if (end > 0xFFFFFFFFll - kStrSlotBytes) return 0;
            target = static_cast<DWORD>(end);
            appended = true;
        }
    }
    recomputeBox(stream, reused ? target : 0, header);

    if (!strWriteHeader(stream, target, header)) return 0;
    // An appended slot gets its blank vertex area at once, so that every slot is whole and the
    // next one starts 3922 bytes further.
    if (appended && !strWriteBlankVertices(stream, target)) return 0;
    ++accessor.header.count;
    if (accessor.header.surface == 0) strChooseSurface(accessor);
    accessor.header.changed = '1';
    if (!accessor.WriteHeader()) return 0;
    return target;
}

DWORD dbfAddStringHeader(STR_HEADER& header, FILE* stream, const char* fileName) {
    return strAddHeader(*dbfStringAccessor(stream, fileName), header);
}

DWORD dbfGetStringHeader(const char* name, STR_HEADER& header, FILE* stream) {
    return scanFor(strResolve(stream), name, Match::Name, header);
}

DWORD dbfGetParentHeader(const char* name, STR_HEADER& header, FILE* stream) {
    return scanFor(strResolve(stream), name, Match::Child, header);
}

DWORD dbfGetLeafHeader(int firstSide, const char* name, STR_HEADER& header, FILE* stream) {
    FILE* file = strResolve(stream);
    DWORD position = scanFor(file, name, Match::Name, header);
    // A loop of child links ends after as many steps as the file has slots.
    for (int steps = strSlotLimit(file); position && steps > 0; --steps) {
        const char* link = firstSide ? header.firstChild : header.secondChild;
        if (!*link) return position;
        char next[32];
        strSetName(next, link);
        position = scanFor(file, next, Match::Name, header);
    }
    if (position) dbfInitHeader(header);
    return 0;
}

DWORD dbfGetPreviousHeader(const char* name, STR_HEADER& header, FILE* stream) {
    static const char* const kPairedSides[] = {"L_SHOULDER", "R_SHOULDER", "L_MEDIAN", "R_MEDIAN",
                                               "L_COMP",     "R_COMP",     "L_BANK",   "R_BANK"};
    const DWORD parent = dbfGetParentHeader(name, header, stream);
    if (!parent) return 0;
    const bool paired = std::any_of(std::begin(kPairedSides), std::end(kPairedSides),
                                    [&](const char* side) { return std::strcmp(side, name) == 0; });
    if (!paired || !*header.firstChild || !*header.secondChild) return parent;
    char other[32];
    if (strNameIs(header.firstChild, name)) {
        strSetName(other, header.secondChild);
        return dbfGetLeafHeader(1, other, header, stream);
    }
    strSetName(other, header.firstChild);
    return dbfGetLeafHeader(0, other, header, stream);
}

// ---------------------------------------------------------------------------------------------
// Vertex data

namespace {

// The vertex records of a string's slots, read in runs: a slot's records in one read and, when
// the string continues, as many of the slots after it as a read of 16 slots reaches, since a
// string's sections usually lie one after the other.
class SlotReader {
public:
    explicit SlotReader(FILE* stream) : stream_(stream) {}

    // The records of the slot at the position: up to `count` of them, fewer where the file ends
    // (`available` says how many). Null when they cannot be read in one piece.
    const char* Records(std::int64_t position, int count, bool continues, int& available) {
        if (length_ < 0) length_ = coreFileLength(stream_);
        const std::int64_t from = position + kStrHeaderBytes;
        available = static_cast<int>(
            std::clamp<std::int64_t>((length_ - from) / kStrVertexBytes, 0, static_cast<std::int64_t>(count)));
        const std::int64_t bytes = static_cast<std::int64_t>(available) * kStrVertexBytes;
        const std::int64_t held = static_cast<std::int64_t>(buffer_.size());
        if (from >= start_ && from + bytes <= start_ + held) return buffer_.data() + (from - start_);
        std::int64_t want = bytes;
        if (continues) want = std::max(want, std::min(length_, position + kReadAheadSlots * kStrSlotBytes) - from);
        buffer_.resize(static_cast<std::size_t>(want));
        start_ = from;
        if (want == 0 || coreFileReadAt(buffer_.data(), buffer_.size(), from, stream_)) return buffer_.data();
        buffer_.clear();
        return nullptr;
    }

private:
    static constexpr std::int64_t kReadAheadSlots = 16;
    FILE* stream_;
    std::int64_t length_ = -1;
    std::int64_t start_ = 0;
    std::vector<char> buffer_;
};

}  // namespace

int strReadData(FILE* stream, DWORD position, UI_LIST& list, int section) {
    if (position < static_cast<DWORD>(kStrFileHeaderBytes)) return 0;
    SlotReader reader(stream);
    STR_HEADER header;
    if (!strReadHeader(stream, position, header)) return 0;
    char firstName[32];
    strSetName(firstName, header.name);

    int result = 0;
    int s = 1;
    // Each slot is read at most once however the section links are damaged.
    std::vector<DWORD> visited;
    for (;;) {
        if (std::find(visited.begin(), visited.end(), position) != visited.end()) break;
        visited.push_back(position);
        if (section == 0 || section == s) {
            result = 1;
            const int count = std::clamp<int>(header.vertexCount, 0, kStrSlotVertices);
            int available = 0;
            const char* records = reader.Records(position, count, *header.nextSection != '\0', available);
            for (int i = 0; i < count; ++i) {
                auto* vertex = new CVertexEle;
                const std::int64_t at = static_cast<std::int64_t>(position) + kStrHeaderBytes +
                                        static_cast<std::int64_t>(i) * kStrVertexBytes;
                bool read = false;
                if (records) {
                    read = i < available;
                    if (read) std::memcpy(&vertex->Record(), records + i * kStrVertexBytes, kStrVertexBytes);
                } else {
                    // One record at a time only when the run could not be read whole.
                    read = coreFileSetPointer(0, at, stream) &&
                           coreFileBinRead(&vertex->Record(), kStrVertexBytes, stream);
                }
                if (!read) {
                    delete vertex;
                    break;
                }
                if (auto* last = static_cast<CVertexEle*>(list.Tail())) {
                    if (strIsSpike(last->Previous(), last, vertex)) last->active = 0;
                }
                if (isBlank(vertex->Record())) {
                    delete vertex;
                    break;
                }
                list.Append(vertex);
            }
        }
        ++s;
        if (!*header.nextSection || strNameIs(header.nextSection, firstName)) break;
        char next[32];
        strSetName(next, header.nextSection);
        position = strFindHeader(stream, next, header);
        if (!position) break;
        if (section > 0 && s == section + 1) {
            // The first vertex of the following section closes the gap between the two.
            if (header.vertexCount == 1) {
                auto* vertex = new CVertexEle;
                if (coreFileSetPointer(0, static_cast<std::int64_t>(position) + kStrHeaderBytes, stream) &&
                    coreFileBinRead(&vertex->Record(), kStrVertexBytes, stream))
                    list.Append(vertex);
                else
                    delete vertex;
            }
            break;
        }
    }
    return result;
}

int dbfGetStringData(DWORD position, UI_LIST& list, int, int section, FILE* stream) {
    return strReadData(strResolve(stream), position, list, section);
}

namespace {

// False after a message when a vertex that would be written holds a real that is no finite
// number: nothing of the string is written then.
bool verticesFinite(UI_LIST& list, const char* name) {
    int number = 0;
    for (UI_ELEMENT* e = list.Head(); e; e = e->Next()) {
        const auto* v = static_cast<const CVertexEle*>(e);
        if (!v->active) continue;
        ++number;
        const double values[] = {v->chainage, v->x,     v->y,     v->z,         v->offset,
                                 v->rise,     v->slope, v->skew,  v->vertexRef, v->spareNumber};
        for (double value : values) {
            if (std::isfinite(value)) continue;
            ErrorMessage(dbfFormatText("Vertex %d of string %s: %g is not a finite number; the string is not stored",
                                       number, name, value),
                         dbfOwner());
            return false;
        }
    }
    return true;
}

}  // namespace

int dbfAddStringData(DWORD position, UI_LIST& list, int, FILE* stream) {
    CStringFile& accessor = *dbfStringAccessor(stream, "");
    FILE* file = accessor.Stream();
    STR_HEADER header;
    if (!strReadHeader(file, position, header)) return 0;
    if (!verticesFinite(list, header.name)) return 0;
    if (!strWriteBlankVertices(file, position)) return 0;
    header.vertexCount = static_cast<std::int16_t>(std::min(list.Count(), kStrSlotVertices));
    if (!strWriteHeader(file, position, header)) return 0;

    char sectionName[32];
    dbfGetSectionName(sectionName, header.name, 1, false);
    if (!strDeleteString(accessor, sectionName, 0)) return 0;
    // The old chain is gone: a string that now fits its slot must not keep naming it.
    header.nextSection[0] = '\0';

    auto* element = static_cast<CVertexEle*>(list.Head());
    if (element && !element->active) element = element->Next(false);
    int written = 0;
    DWORD slot = position;
    // A slot's records are gathered and written in one run (one write, one flush); a run that
    // fails leaves what the file took of it, as record-by-record writes would.
    std::vector<char> run;
    for (int chunk = 1;; ++chunk) {
        int inSlot = 0;
        run.clear();
        while (element && written < kStrSlotVertices * chunk && inSlot < kStrSlotVertices) {
            if (element->sectionBreak) break;
            const auto* record = reinterpret_cast<const char*>(&element->Record());
            run.insert(run.end(), record, record + kStrVertexBytes);
            ++written;
            ++inSlot;
            element = element->Next(false);
        }
        if (!run.empty() && !strWriteAt(file, static_cast<std::int64_t>(slot) + kStrHeaderBytes, run.data(), run.size()))
            return 0;
        if (!element) return strAddHeader(accessor, header) ? 1 : 0;
        element->sectionBreak = 0;
        dbfGetSectionName(sectionName, header.name, chunk, false);
        strSetName(header.nextSection, sectionName);
        if (!strAddHeader(accessor, header)) return 0;

        STR_HEADER next = header;
        strSetName(next.previousSection, header.name);
        strSetName(next.name, sectionName);
        next.nextSection[0] = next.firstChild[0] = next.secondChild[0] = '\0';
        next.vertexCount = static_cast<std::int16_t>(std::min(list.Count() - written, kStrSlotVertices));
        slot = strAddHeader(accessor, next);
        if (!slot || !strWriteBlankVertices(file, slot)) return 0;
        header = next;
    }
}

// ---------------------------------------------------------------------------------------------
// Deletion

bool strDeleteString(CStringFile& accessor, const char* name, int depth) {
    FILE* stream = accessor.Stream();
    if (accessor.header.count < 1 || !stream || !name || !*name) return true;
    // A section chain that loops back on itself ends after as many steps as there are slots.
    if (depth > strSlotLimit(stream)) return true;
    char target[32];
    strSetName(target, name);
    STR_HEADER slot;
    for (int k = -1;;) {
        // Only the slots that name the target matter: the next one from the index, or the next
        // slot of the scan when the file cannot be indexed. The index follows the writes below.
        const int next =
            strIndexFind(stream, {SlotField::Name, SlotField::FirstChild, SlotField::SecondChild}, target, k);
        if (next == -1) break;
        k = next >= 0 ? next : k + 1;
        const std::int64_t position = slotPosition(k);
        if (position > 0xFFFFFFFFll || !strReadHeader(stream, position, slot)) break;
        if (strNameIs(slot.name, target)) {
            if (*slot.nextSection) {
                char next[32];
                strSetName(next, slot.nextSection);
                if (!strDeleteString(accessor, next, depth + 1)) return false;
                // The deletion above may have rewritten this slot (a looping chain even deletes
                // it): read it again and count it only while it still has the name.
                if (!strReadHeader(stream, position, slot)) break;
                if (!strNameIs(slot.name, target)) continue;
            }
            slot.selected = 0;
            strSetName(slot.name, kStrDeletedName);
            slot.previousSection[0] = slot.nextSection[0] = '\0';
            if (!strWriteHeader(stream, position, slot)) return false;
            --accessor.header.count;
            accessor.header.changed = '1';
            if (!accessor.WriteHeader()) return false;
        } else if (strNameIs(slot.firstChild, target)) {
            slot.firstChild[0] = '\0';
            if (!strWriteHeader(stream, position, slot)) return false;
        } else if (strNameIs(slot.secondChild, target)) {
            slot.secondChild[0] = '\0';
            if (!strWriteHeader(stream, position, slot)) return false;
        }
    }
    return true;
}

int dbfDeleteString(const char* name, FILE* stream, const char* fileName) {
    strDeleteString(*dbfStringAccessor(stream, fileName), name, 0);
    return 0;
}

namespace {

// False when a write failed (the deletion stops there).
bool deleteSubtree(CStringFile& accessor, const STR_HEADER& header, int depth) {
    FILE* stream = accessor.Stream();
    if (depth > strSlotLimit(stream)) return true;
    for (const char* link : {header.firstChild, header.secondChild}) {
        if (!*link) continue;
        char child[32];
        strSetName(child, link);
        STR_HEADER childHeader;
        if (!strFindHeader(stream, child, childHeader)) continue;
        if (!strDeleteString(accessor, child, 0) || !deleteSubtree(accessor, childHeader, depth + 1)) return false;
    }
    return true;
}

}  // namespace

void dbfDeleteChildren(STR_HEADER& header, FILE* stream, const char* fileName) {
    if (!*header.firstChild && !*header.secondChild) return;
    const STR_HEADER copy = header;   // the deletions below clear the links in the file only
    deleteSubtree(*dbfStringAccessor(stream, fileName), copy, 0);
}

void dbfDeleteSections(const char* name, FILE* stream) {
    if (!name) return;
    char section[32];
    dbfGetSectionName(section, name, 1, true);
    strDeleteString(*dbfStringAccessor(stream, ""), section, 0);
}

// ---------------------------------------------------------------------------------------------
// File-header fields

namespace {

template <typename Change>
void changeFileHeader(FILE* stream, Change change) {
    FILE* file = strResolve(stream);
    STR_FILEHEADER header;
    if (!strReadFileHeader(file, header)) return;
    change(header);
    strWriteFileHeader(file, header);
}

}  // namespace

void dbfSetStringClosed(FILE* stream, bool closed) {
    changeFileHeader(stream, [&](STR_FILEHEADER& h) { h.closed = closed ? 1 : 0; });
}

int dbfIsStringClosed(FILE* stream) {
    STR_FILEHEADER header;
    return strReadFileHeader(strResolve(stream), header) && header.closed > 0 ? 1 : 0;
}

void dbfSetStringCrdInterval(FILE* stream, double interval) {
    if (!std::isfinite(interval) || std::fabs(interval) > 3.4e38) {
        ErrorMessage(dbfFormatText("The coordinate interval %g is not a number the strings file can hold", interval),
                     dbfOwner());
        return;
    }
    changeFileHeader(stream, [&](STR_FILEHEADER& h) { h.interval = static_cast<float>(interval); });
}

float dbfGetStringCrdInterval(FILE* stream) {
    STR_FILEHEADER header;
    return strReadFileHeader(strResolve(stream), header) ? header.interval : 0.0f;
}

WORD dbfStringGetSurface(FILE* stream) {
    const WORD surface = dbfStringAccessor(stream, "")->header.surface;
    return surface >= 1 && surface <= 128 ? surface : 1;
}
