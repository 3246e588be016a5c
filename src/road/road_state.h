// The road's part of the library state and the record primitives the road files share.
//
// The open road file's handle and the copy of its header live here; every primitive that appends
// or removes a record writes the header copy back to record 0 at once (within an insert or a
// cross-section store, when the call ends: see RoadBatch). Reset by dbfResetState()
// through the registered reset function.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "database/road.h"
#include "frame/state.h"

constexpr int kLayerNameChars = 25;

// The road file's documented damage reports.
constexpr const char* kRoadHeaderCorrupt = "Corruption detected in road file header";
constexpr const char* kRoadDataCorrupt = "Corruption detected in road file data";
constexpr const char* kRoadNoFile = "Corruption detected. Cannot read from the roads file";
constexpr int kEquationsMax = 5;

struct ChainageEquation {
    double from = 0.0;
    double to = 0.0;
    double adjustment = 0.0;
};

// An entry of the chainage index: the record of a chainage and whether it is hidden.
struct IndexedChainage {
    unsigned record = 0;
    bool hidden = false;
};

struct RoadState {
    bool open = false;               // dbfRoadInit has opened a road (even without a file)
    FILE* stream = nullptr;          // the road work file
    char path[MAX_PATH] = {};        // its name, for the messages
    SECHEAD head{};                  // the header copy
    // Set once the open file was found damaged or a write to it failed: from then on nothing is
    // written to it (the header copy at the close included), so that the damage is not spread
    // and the file keeps the bytes it had when the trouble was seen.
    bool frozen = false;
    // The chainage index of the open file: rounded chainage -> its chainage record, in list
    // order. Built from the links when the file opens and kept in step by every insert, delete,
    // compaction move and store of a chainage record, so that a find costs a look-up and no
    // reads. When the index cannot be trusted (damage found, the rounded chainages of the file
    // not strictly ascending, a stored chainage record whose chainage or links changed) it is
    // dropped and finds walk the links as the view functions do.
    std::map<double, IndexedChainage> index;
    bool indexed = false;

    // The writes of the operation under way (see RoadBatch): records of the file by index, the
    // records appended (from index appendFirst on, one after another), and whether the header
    // copy is to be written; the header copy as the operation found it.
    int batchDepth = 0;
    std::map<unsigned, std::array<std::uint8_t, kRoadRecordBytes>> pending;
    unsigned appendFirst = 0;
    std::vector<std::uint8_t> appended;
    bool headerPending = false;
    SECHEAD headBefore{};

    // Records of the open file read ahead: `aheadCount` records from index `aheadFirst` as the
    // file holds them. A record that is not here is read together with the records that follow
    // it (a chainage is stored with its layer and section records behind it), so that stepping
    // to a chainage and grabbing its cross-section cost one read. Forgotten at every write.
    unsigned aheadFirst = 0;
    unsigned aheadCount = 0;
    std::vector<std::uint8_t> ahead;

    bool layerNamesLoaded = false;
    char layerNames[kRoadLayers][kLayerNameChars + 1] = {};

    int equationCount = 0;
    ChainageEquation equations[kEquationsMax];

    int skew1 = 0, skew2 = 0;
    int busy = 0;
    int changeRequested = 0;
    int wizard = 0;
};

// The road's part of the state (registered with the frame for resets on first use).
RoadState& roadState();

// ---------------------------------------------------------------------------------------------
// Record primitives on any road file stream (the open one or a view handle)

// Record idx whole (568 bytes) or its 17-byte head. 1 on success.
int roadReadRecord(FILE* f, unsigned idx, void* record);
int roadReadHead(FILE* f, unsigned idx, ROADRECHEAD& head);
// Record idx of stream f as read ahead, or null when it is not in the read-ahead.
const std::uint8_t* roadAheadRecord(FILE* f, unsigned idx);
// Forgets the records read ahead (every write does).
void roadForgetReads();

// Gathers the writes of one operation on the open road file and writes them when it ends:
// records in ascending index, neighbours in one write, the header last, then one flush. Reads
// of the open file see the gathered records. So a store of a chainage with its cross-section
// costs a few writes instead of one seek, write and flush per record, and a failed write is
// still said, and freezes the file, before the operation returns; the header copy is then put
// back as the operation found it. A deletion writes what was gathered first and works on the
// file itself (it shortens the file). Batches nest; the outermost one writes.
class RoadBatch {
public:
    RoadBatch();
    ~RoadBatch();
    RoadBatch(const RoadBatch&) = delete;
    RoadBatch& operator=(const RoadBatch&) = delete;
    // Ends the batch (the outermost writes); 0 when a gathered write failed.
    int finish();

private:
    bool done = false;
};

// Record primitives on the open road file. Each returns 0 when no road file is open or it is
// frozen; a failed write is reported (file name and reason) and freezes the file.
int roadWriteRecord(unsigned idx, const void* record);
// Appends at index recordCount, writes the header; the new index.
unsigned roadAppendRecord(const void* record);
// Sets the next (direction >= 0) or prev (direction < 0) link of record r.
int roadSetLink(unsigned r, int direction, unsigned value);
// Writes the header copy to record 0.
int roadWriteHeader();
// Deletes record r by moving the last record into its slot and repairing every reference to it.
// Returns where visitNext lives afterwards. When working is given and is the record moved, it is
// updated to its new index.
unsigned roadDeleteRecord(unsigned r, unsigned visitNext, unsigned* working = nullptr);
// Frees a section chain from record s: cuts the link from s's predecessor and deletes every
// piece.
void roadFreeChain(unsigned s);
// Whether idx names a data record of the open file.
inline bool roadValidIndex(unsigned idx) {
    const RoadState& r = roadState();
    return idx != 0 && idx < r.head.recordCount;
}

// The chainage index (see RoadState::index). Each keeps the index in step with one change of
// the list; a change it cannot follow drops the index.
void roadIndexAdd(double chainage, unsigned record);
void roadIndexRemove(double chainage, unsigned record);
void roadIndexMoved(double chainage, unsigned from, unsigned to);
void roadIndexDrop();

// The chainage record's position between project coordinates (in memory) and geographic ones
// (in the file).
void chgToFile(CHGBASE& rec);
void chgFromFile(CHGBASE& rec);

// The chainage comparisons: a sought against b stored, both rounded.
bool chgSame(double a, double b);
bool chgBeyond(double a, double b);

// Marks the road edited (the header reaches the file at the next append, delete or close).
inline void roadMarkEdited() { roadState().head.edited = 1; }

void roadError(const char* text);
// Reports damage found in the open road file and freezes it.
void roadReportDamage(const char* text);
// Whether an edit may write the open road file: false when none is open, and false after saying
// why when it is frozen.
bool roadWritable();
// False after a message when the real that came in is NaN or infinite ("Chainage nan is not a
// finite number" for what = "Chainage").
bool roadFinite(double value, const char* what);
