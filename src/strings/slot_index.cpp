// The slots of a strings file by name, so that finding a string, its parent or a free slot is a
// look-up instead of a scan of every slot header from the start of the file.
//
// One index per stream, built by one pass over the slot headers on first use and kept in step
// by every write that goes through strWriteAt. It is trusted only while nothing else can have
// changed the file:
//   - every write that touches a slot header, on any stream, counts as one change; an index
//     that did not see the latest change (another stream on the same file may have made it) is
//     rebuilt at its next use;
//   - a failed write, a write over a header that is not a whole header, or a file whose length
//     no longer gives the slots the index holds drops the index;
//   - the library drops a stream's index when it opens, attaches or closes that stream;
//   - at each use the stream must still be on the same file (device and file number), and the
//     file's length, its file header and its first and last slot headers must still be what the
//     index holds, so that a stream closed by its caller and another strings file opened later
//     at the same address is not mistaken for the first.
// Another program that rewrites the same strings file in place, keeping all of those, is not
// seen; the callers in this library do not.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/core.h"
#include "strings/strings_internal.h"

namespace {

constexpr std::int64_t kLastSlotPosition = 0xFFFFFFFFll;   // the scans stop beyond it
constexpr int kMaxIndexedStreams = 8;

using RawHeader = std::array<char, kStrHeaderBytes>;

struct SlotIndex {
    CoreFileIdentity identity;
    std::int64_t length = 0;
    std::array<char, kStrFileHeaderBytes> fileHeader{};
    std::uint64_t generation = 0;
    std::vector<RawHeader> slots;
    std::unordered_map<std::string, std::set<int>> byField[3];
};

struct IndexTable {
    std::uint64_t headerWrites = 0;   // writes over slot headers on any stream, failed ones too
    std::map<FILE*, std::unique_ptr<SlotIndex>> indexes;
};

IndexTable& table() {
    static IndexTable t;
    return t;
}

std::int64_t positionOf(int k) { return kStrFileHeaderBytes + static_cast<std::int64_t>(k) * kStrSlotBytes; }

// The slots a scan reads in a file of the length: those whose whole header lies in the file.
int readableSlots(std::int64_t length) {
    if (length < kStrFileHeaderBytes + kStrHeaderBytes) return 0;
    const std::int64_t body = length - kStrFileHeaderBytes;
    std::int64_t n = body / kStrSlotBytes + (body % kStrSlotBytes >= kStrHeaderBytes ? 1 : 0);
    n = std::min(n, (kLastSlotPosition - kStrFileHeaderBytes) / kStrSlotBytes + 1);
    return static_cast<int>(n);
}

// A name field as the scans compare it: up to its terminator, never more than 31 characters.
std::string fieldText(const char* field) { return std::string(field, strnlen(field, 31)); }

const char* fieldOf(const RawHeader& raw, SlotField field) {
    switch (field) {
    case SlotField::Name: return raw.data() + offsetof(STR_HEADER, name);
    case SlotField::FirstChild: return raw.data() + offsetof(STR_HEADER, firstChild);
    default: return raw.data() + offsetof(STR_HEADER, secondChild);
    }
}

constexpr SlotField kFields[] = {SlotField::Name, SlotField::FirstChild, SlotField::SecondChild};

void enter(SlotIndex& index, int k, bool add) {
    for (SlotField f : kFields) {
        auto& byName = index.byField[static_cast<int>(f)];
        const std::string key = fieldText(fieldOf(index.slots[static_cast<std::size_t>(k)], f));
        if (add) {
            byName[key].insert(k);
        } else if (auto it = byName.find(key); it != byName.end()) {
            it->second.erase(k);
            if (it->second.empty()) byName.erase(it);
        }
    }
}

std::unique_ptr<SlotIndex> build(FILE* stream) {
    auto index = std::make_unique<SlotIndex>();
    index->identity = coreFileIdentity(stream);
    index->length = coreFileLength(stream);
    if (index->length < kStrFileHeaderBytes) return nullptr;
    if (!coreFileReadAt(index->fileHeader.data(), kStrFileHeaderBytes, 0, stream)) return nullptr;
    const int n = readableSlots(index->length);
    index->slots.resize(static_cast<std::size_t>(n));
    // Sixteen slots a read: the pass reads the file once, front to back.
    constexpr int kSlotsPerRead = 16;
    std::vector<char> buffer(static_cast<std::size_t>(kSlotsPerRead) * kStrSlotBytes);
    for (int k = 0; k < n; k += kSlotsPerRead) {
        const int count = std::min(kSlotsPerRead, n - k);
        const std::int64_t bytes =
            std::min<std::int64_t>(static_cast<std::int64_t>(count) * kStrSlotBytes, index->length - positionOf(k));
        if (!coreFileReadAt(buffer.data(), static_cast<std::size_t>(bytes), positionOf(k), stream)) return nullptr;
        for (int i = 0; i < count; ++i)
            std::memcpy(index->slots[static_cast<std::size_t>(k + i)].data(),
                        buffer.data() + static_cast<std::size_t>(i) * kStrSlotBytes, kStrHeaderBytes);
    }
    for (int k = 0; k < n; ++k) enter(*index, k, true);
    index->generation = table().headerWrites;
    return index;
}

// The file still is the one indexed: the same file, its length, file header and first and last
// slot headers.
bool stillHolds(FILE* stream, const SlotIndex& index) {
    if (!(coreFileIdentity(stream) == index.identity) || coreFileLength(stream) != index.length) return false;
    std::array<char, kStrFileHeaderBytes> fileHeader;
    if (!coreFileReadAt(fileHeader.data(), fileHeader.size(), 0, stream) || fileHeader != index.fileHeader)
        return false;
    if (index.slots.empty()) return true;
    for (int k : {0, static_cast<int>(index.slots.size()) - 1}) {
        RawHeader raw;
        if (!coreFileReadAt(raw.data(), raw.size(), positionOf(k), stream) || raw != index.slots[static_cast<std::size_t>(k)])
            return false;
    }
    return true;
}

// The stream's index, built or rebuilt when needed; null when the file cannot be read through.
SlotIndex* usable(FILE* stream) {
    if (!stream) return nullptr;
    IndexTable& t = table();
    auto it = t.indexes.find(stream);
    if (it != t.indexes.end() && it->second->generation == t.headerWrites && stillHolds(stream, *it->second))
        return it->second.get();
    if (it != t.indexes.end()) t.indexes.erase(it);
    std::unique_ptr<SlotIndex> index = build(stream);
    if (!index) return nullptr;
    // Streams closed by their callers leave their indexes behind: keep only the last few.
    if (static_cast<int>(t.indexes.size()) >= kMaxIndexedStreams) t.indexes.clear();
    return (t.indexes[stream] = std::move(index)).get();
}

// True when the bytes [position, position + size) reach into a slot header.
bool touchesHeaders(std::int64_t position, std::size_t size) {
    const std::int64_t end = position + static_cast<std::int64_t>(size);
    if (end <= kStrFileHeaderBytes) return false;
    const std::int64_t from = std::max<std::int64_t>(position, kStrFileHeaderBytes);
    const std::int64_t k = (from - kStrFileHeaderBytes) / kStrSlotBytes;
    const std::int64_t start = kStrFileHeaderBytes + k * kStrSlotBytes;
    return from < start + kStrHeaderBytes || start + kStrSlotBytes < end;
}

}  // namespace

int strIndexFind(FILE* stream, std::initializer_list<SlotField> fields, const char* name, int after) {
    SlotIndex* index = usable(stream);
    if (!index) return -2;
    if (!name || strnlen(name, 32) > 31) return -1;   // no terminated field holds a longer name
    int first = -1;
    for (SlotField field : fields) {
        const auto& byName = index->byField[static_cast<int>(field)];
        const auto it = byName.find(name);
        if (it == byName.end()) continue;
        const auto next = it->second.upper_bound(after);
        if (next != it->second.end() && (first < 0 || *next < first)) first = *next;
    }
    return first;
}

int strIndexSlots(FILE* stream) {
    const SlotIndex* index = usable(stream);
    return index ? static_cast<int>(index->slots.size()) : -1;
}

void strIndexNoteWrite(FILE* stream, std::int64_t position, const void* data, std::size_t size, bool written) {
    IndexTable& t = table();
    const bool headers = touchesHeaders(position, size);
    auto it = t.indexes.find(stream);
    const bool inStep = it != t.indexes.end() && it->second->generation == t.headerWrites;
    if (headers || !written) ++t.headerWrites;
    if (it == t.indexes.end()) return;
    SlotIndex& index = *it->second;
    const int n = static_cast<int>(index.slots.size());
    const std::int64_t k = (position - kStrFileHeaderBytes) / kStrSlotBytes;
    const bool wholeHeader = position >= kStrFileHeaderBytes && size == kStrHeaderBytes &&
                             (position - kStrFileHeaderBytes) % kStrSlotBytes == 0 && k <= n;
    if (!inStep || !written || (headers && !wholeHeader)) {
        t.indexes.erase(it);
        return;
    }
    const auto* bytes = static_cast<const char*>(data);
    for (std::int64_t at = position; at < kStrFileHeaderBytes && at < position + static_cast<std::int64_t>(size); ++at)
        index.fileHeader[static_cast<std::size_t>(at)] = bytes[at - position];
    index.length = std::max(index.length, position + static_cast<std::int64_t>(size));
    if (headers) {
        const int slot = static_cast<int>(k);
        if (slot == n) {
            index.slots.emplace_back();
        } else {
            enter(index, slot, false);
        }
        std::memcpy(index.slots[static_cast<std::size_t>(slot)].data(), bytes, kStrHeaderBytes);
        enter(index, slot, true);
        index.generation = t.headerWrites;
    }
    // A write that made the file reach into a header the index does not hold (or stop short of
    // one it holds) cannot be followed.
    if (readableSlots(index.length) != static_cast<int>(index.slots.size())) t.indexes.erase(it);
}

void strIndexForget(FILE* stream) {
    if (stream) table().indexes.erase(stream);
}

void strIndexForgetAll() { table().indexes.clear(); }
