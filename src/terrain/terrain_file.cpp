// The terrain file: creation, opening (version upgrades, the projection check), closing, the
// cell of a position, and the small accessors of the open database.
#include <cmath>
#include <cstring>
#include <new>
#include <strings.h>
#include <vector>

#include "database/frame.h"
#include "platform/cad.h"
#include "platform/core.h"
#include "platform/proj.h"
#include "terrain/terrain_state.h"

namespace {

constexpr char kMagic[] = "XXXY";
constexpr char kOldMagic[] = "XXXX";
constexpr unsigned kReservedBytes = sizeof(DTMHEADER::reserved);

// Copies the project's projection into the header.
void copyProjectProjection(DTMHEADER& h) {
    h.datum = static_cast<WORD>(projGetDatumNumber());
    h.projection = static_cast<std::int16_t>(projGetProjectionNumber());
    h.scaleFactor = projGetScaleFactor();
    h.latitudeOrigin = projGetLatitudeOrigin();
    h.falseEasting = projGetFalseEasting();
    h.falseNorthing = projGetFalseNorthing();
    h.hemisphereFlag = projGetHemisphere() == 0 ? 1u : 0u;
    h.longitudeOrigin = static_cast<DWORD>(projGetLO(nullptr));
}

// The file's projection must be the project's to the bit: the stored positions are only
// meaningful in the projection they were converted with.
bool projectionMatches(const DTMHEADER& h) {
    return h.datum == static_cast<WORD>(projGetDatumNumber()) &&
           h.projection == static_cast<std::int16_t>(projGetProjectionNumber()) &&
           h.scaleFactor == projGetScaleFactor() && h.latitudeOrigin == projGetLatitudeOrigin() &&
           h.falseEasting == projGetFalseEasting() && h.falseNorthing == projGetFalseNorthing() &&
           h.hemisphereFlag == (projGetHemisphere() == 0 ? 1u : 0u) &&
           static_cast<int>(h.longitudeOrigin) == projGetLO(nullptr);
}

void writeFileProjectionToProject(const DTMHEADER& h) {
    coreSetJobDefaultInt("Global", "Hemisphere", 1 - static_cast<int>(h.hemisphereFlag));
    coreSetJobDefaultInt("Global", "Projection", h.projection);
    coreSetJobDefaultInt("Global", "Datum", h.datum);
    coreSetJobDefaultInt("Global", "PrimeMeridian", static_cast<int>(h.longitudeOrigin));
    coreSetJobDefaultDouble("Global", "LatitudeOrigin", h.latitudeOrigin, 0);
    coreSetJobDefaultDouble("Global", "MeridianScale", h.scaleFactor, 5);
    coreSetJobDefaultDouble("Global", "FalseEasting", h.falseEasting, 3);
    coreSetJobDefaultDouble("Global", "FalseNorthing", h.falseNorthing, 3);
    coreFlushJobDefault();
    projInitGlobalConstants();
}

// Ends a failed open: no database stays open.
int abandonOpen() {
    TerrainState& t = terrainState();
    t.stream = coreFileClose(t.stream);
    t.blocks.reset();
    pointIndexDrop();
    return 0;
}

// Why a header cannot be worked with, or null when it can: the layout it was written with, as
// many blocks in the file as it counts, and a site of real numbers. Checked before anything of
// the file is read into the state.
const char* headerProblem(const DTMHEADER& h, std::int64_t fileLength) {
    if (h.blockLength != kDtmBlockLength) return "the block length is not 73016";
    if (h.cellsPerSide != kDtmCellsPerSide) return "the site is not 25 cells per side";
    if (h.totalBlocks < 1) return "the header counts no blocks";
    if (h.usedBlocks >= h.totalBlocks) return "the header counts more used blocks than blocks";
    if (fileLength < 0 || static_cast<std::uint64_t>(fileLength) / kDtmBlockLength < std::uint64_t{h.totalBlocks} + 1)
        return "the file is shorter than the blocks its header counts";
    for (double v : {h.minY, h.minX, h.maxY, h.maxX, h.blockSize})
        if (!std::isfinite(v)) return "the site's extents are not numbers";
    if (!(h.blockSize > 0.0)) return "the block size is not positive";
    // maximum = minimum + 25 x block size on each axis, to the rounding of a writer that kept the
    // block size in single precision.
    const double side = kDtmCellsPerSide * h.blockSize;
    for (double span : {h.maxY - h.minY, h.maxX - h.minX})
        if (!(std::fabs(span - side) <= side * 1e-6)) return "the site's extents do not match its block size";
    return nullptr;
}

// Refuses a damaged file that the block list messages do not cover: the message names the file
// and the reason, and no database stays open.
int refuseDamaged(const char* reason) {
    terrainError(dbfFormatText("Terrain file %s is damaged: %s", terrainState().fileName.c_str(), reason));
    return abandonOpen();
}

// A damaged block list ends the open: no database stays open, the status and progress are
// cleared, and the message is followed by the user exception.
[[noreturn]] void failBlockList(const char* where, DWORD bucket, bool statusShown = true) {
    TerrainState& t = terrainState();
    t.stream = coreFileClose(t.stream);
    t.blocks.reset();
    pointIndexDrop();
    if (statusShown) {
        dbfDispStatus(nullptr, kStatusPop);
        dbfDispGraph(0, 0, nullptr);
    }
    bucketListError(where, bucket);
}

bool readBlockHead(DWORD block, DTMBLOCKHEAD& head) {
    FILE* stream = terrainState().stream;
    return coreFileSetPointer(0, static_cast<std::int64_t>(block) * kDtmBlockLength, stream) &&
           coreFileBinRead(&head, sizeof head, stream);
}

// Checks the block headers before anything is read into the state: every block names a bucket
// of the file, no bucket twice; used blocks hold 1..500 points and blank ones none; and the
// chains run forward and back through used blocks, each used block in exactly one chain, never
// round in a loop. Returns 1, or 0 after a message; a damaged block list raises the user
// exception after its message ("(1)", "(2)" no such bucket, "(3)" a bucket given twice, "(4)"
// a broken chain).
int checkBlockHeads() {
    const DTMHEADER& h = terrainState().header;
    const DWORD total = h.totalBlocks, used = h.usedBlocks;
    std::vector<DTMBLOCKHEAD> byBucket(static_cast<std::size_t>(total) + 1);
    std::vector<DWORD> blockOf(static_cast<std::size_t>(total) + 1, 0);
    for (DWORD block = 1; block <= total; ++block) {
        DTMBLOCKHEAD head{};
        if (!readBlockHead(block, head)) return refuseDamaged("a block header cannot be read");
        const bool isUsed = block <= used;
        if (head.bucket == 0 || head.bucket > total) failBlockList(isUsed ? "dbfOpenDbase (1)" : "dbfOpenDbase (2)", head.bucket, false);
        if (blockOf[head.bucket] != 0) failBlockList("dbfOpenDbase (3)", head.bucket, false);
        if (isUsed ? (head.count == 0 || head.count > kDtmPointsPerBlock) : head.count != 0) {
            char reason[96];
            std::snprintf(reason, sizeof reason, "block %u counts %u points (%s)", block, static_cast<unsigned>(head.count),
                          isUsed ? "a used block holds 1 to 500" : "a blank block holds none");
            return refuseDamaged(reason);
        }
        if (!isUsed && (head.next != 0 || head.previous != 0)) failBlockList("dbfOpenDbase (4)", head.bucket, false);
        blockOf[head.bucket] = block;
        byBucket[head.bucket] = head;
    }
    std::vector<bool> chained(static_cast<std::size_t>(total) + 1, false);
    auto usedBucket = [&](DWORD b) { return b >= 1 && b <= total && blockOf[b] <= used; };
    for (DWORD start = 1; start <= total; ++start) {
        if (blockOf[start] > used || byBucket[start].previous != 0) continue;
        // A chain head: walk it; a bucket met twice is a loop, a link back that does not name the
        // block before is a broken chain.
        DWORD before = 0;
        for (DWORD b = start; b != 0; before = b, b = byBucket[b].next) {
            if (!usedBucket(b) || chained[b] || byBucket[b].previous != before) failBlockList("dbfOpenDbase (4)", b, false);
            chained[b] = true;
        }
    }
    for (DWORD b = 1; b <= total; ++b)
        if (blockOf[b] <= used && !chained[b]) failBlockList("dbfOpenDbase (4)", b, false);   // no chain leads here
    return 1;
}

void loadSurfaceStatusesFromSettings(DTMHEADER& h) {
    char key[16], value[256];
    for (unsigned n = 1; n <= kDtmSurfaces; ++n) {
        std::snprintf(key, sizeof key, "Surf%u", n);
        char def[64];
        std::snprintf(def, sizeof def, "Surface %u,1,1,1", n);
        coreGetJobDefault("Terrain", key, def, value, sizeof value);
        BYTE status = 0;
        if (coreGetFieldInt(value, 0, 3, ',') != 0) status |= kSurfaceActive;
        if (coreGetFieldInt(value, 0, 2, ',') != 0) status |= kSurfaceShown;
        h.surfaceStatus[n - 1] = status;
    }
}

// Rebuilds the block list and the cell heads from the block headers in the file.
int buildBlockList() {
    TerrainState& t = terrainState();
    DTMHEADER& h = t.header;
    const char* text = "Building dynamic block list";
    dbfDispStatus(text, kStatusPush);
    dbfDispGraph(0, 0, text);

    std::memset(t.cellHeads, 0, sizeof t.cellHeads);
    try {
        t.entryByKey.clear();
        t.entryByKeyListSize = 0;
        t.blocks = std::make_unique<BlockList>();
    } catch (const std::bad_alloc&) {
        dbfDispStatus(nullptr, kStatusPop);
        dbfDispGraph(0, 0, nullptr);
        terrainError("Unable to allocate memory");
        return abandonOpen();
    }
    const unsigned slots = dbfState().cacheSlots;
    const int slotStep = dbfProgressStep(slots);
    clearCache();
    for (unsigned s = 1; s <= slots; s += static_cast<unsigned>(slotStep)) dbfDispGraph(static_cast<int>(s), static_cast<int>(slots), text);

    try {
        for (DWORD key = 0; key < h.totalBlocks; ++key) {
            BlockEntry entry;
            entry.key = key;
            t.blocks->emplace_hint(t.blocks->end(), key, entry);
        }
    } catch (const std::bad_alloc&) {
        dbfDispStatus(nullptr, kStatusPop);
        dbfDispGraph(0, 0, nullptr);
        terrainError("Unable to allocate memory");
        return abandonOpen();
    }

    // The block headers were checked (checkBlockHeads): every bucket has its entry, once.
    const int step = dbfProgressStep(h.totalBlocks);
    std::vector<DWORD> nextOf(h.totalBlocks + 1, 0);   // chain links of the used buckets
    for (DWORD block = 1; block <= h.totalBlocks; ++block) {
        const bool used = block <= h.usedBlocks;
        DTMBLOCKHEAD head{};
        SURVCOORD first{};
        if (!readBlockHead(block, head) || (used && !coreFileBinRead(&first, sizeof first, t.stream))) head = DTMBLOCKHEAD{};
        BlockEntry* entry = findBlock(head.bucket);
        if (!entry) failBlockList(used ? "dbfOpenDbase (1)" : "dbfOpenDbase (2)", head.bucket);
        entry->fileBlock = block;
        entry->cacheSlot = 0;
        entry->cell = 0;
        if (used) {
            t.pointTotal += head.count;
            if (head.previous == 0) {
                // A chain's cell is its head's: the points of a chain lie in one cell.
                storedToProjected(first);
                entry->cell = cellOf(first.y, first.x, true);
                if (t.cellHeads[entry->cell] != 0) failBlockList("dbfOpenDbase (4)", head.bucket);   // two chains, one cell
                t.cellHeads[entry->cell] = head.bucket;
            }
            nextOf[head.bucket] = head.next;
        }
        if (block % static_cast<DWORD>(step) == 0) dbfDispGraph(static_cast<int>(block), static_cast<int>(h.totalBlocks), text);
    }
    // Every block of a chain belongs to the head's cell, so that a scan leaving the chain's end
    // goes on to the next cell and never back to one it has done.
    for (unsigned cell = 1; cell <= kDtmCells; ++cell)
        for (DWORD bucket = t.cellHeads[cell]; bucket != 0; bucket = nextOf[bucket]) findBlock(bucket)->cell = static_cast<WORD>(cell);
    dbfDispStatus(nullptr, kStatusPop);
    dbfDispGraph(0, 0, nullptr);
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

WORD dbfBlockNumber(double y, double x) { return cellOf(y, x, false); }

void dbfGetExtents(RRect* site, double& blockSize) {
    const DTMHEADER& h = terrainState().header;
    if (site) *site = RRect{h.maxY, h.minY, h.minX, h.maxX};
    blockSize = h.blockSize;
}

double dbfBlockSize() { return terrainState().header.blockSize; }
DWORD dbfApproxPointCount() { return terrainState().pointTotal; }
int dbfEdit() { return terrainState().changed; }
void dbfChanged() { terrainState().changed = 1; }
void dbfSaved() { terrainState().changed = 0; }
bool dbfBBTreeExists() { return terrainState().blocks != nullptr; }

int dbfSafeBucketChangeMode(int mode) {
    TerrainState& t = terrainState();
    const int previous = t.safeMode;
    t.safeMode = mode;
    return previous;
}

namespace {

// The largest distance from the origin a site may reach: positions stay exact to far below a
// millimetre, and no projection represents more.
constexpr double kSiteReach = 1e10;

// Whether a new site's centre and extent make a site: numbers, a positive extent, and a square
// that stays within reach of the origin. Shows why not.
bool siteUsable(const char* fileName, double centreY, double centreX, double extent) {
    const char* problem = nullptr;
    if (!finiteReal(centreY) || !finiteReal(centreX)) problem = "the centre of the site is not a number";
    else if (!finiteReal(extent) || !(extent > 0.0)) problem = "the extent must be a number greater than 0";
    else {
        const double half = std::fmax(extent * 1.2247 / 25.0, 100.0) * 25.0 / 2.0;
        if (std::fabs(centreY) + half > kSiteReach || std::fabs(centreX) + half > kSiteReach)
            problem = "the site would reach beyond 10000000000 units from the origin";
    }
    if (!problem) return true;
    terrainError(dbfFormatText("Unable to create terrain file %s: %s (centre y %g, x %g, extent %g)", fileName,
                               problem, centreY, centreX, extent));
    return false;
}

}  // namespace

int dbfMakeDbase(const char* fileName, double centreY, double centreX, double extent) {
    TerrainState& t = terrainState();
    if (!siteUsable(fileName ? fileName : "", centreY, centreX, extent)) return 0;
    projInitGlobalConstants();
    t.clockHand = 1;

    DTMHEADER& h = t.header;
    h = DTMHEADER{};
    std::memcpy(h.magic, kMagic, 4);
    h.version = kDtmVersion;
    h.blockLength = kDtmBlockLength;
    h.totalBlocks = 1;
    h.usedBlocks = 0;
    h.cellsPerSide = kDtmCellsPerSide;
    h.limitsValid = 0;
    copyProjectProjection(h);

    std::memset(t.cellHeads, 0, sizeof t.cellHeads);
    std::memset(h.surfaceStatus, kSurfaceActive | kSurfaceShown, sizeof h.surfaceStatus);

    try {
        t.entryByKey.clear();
        t.entryByKeyListSize = 0;
        t.blocks = std::make_unique<BlockList>();
        BlockEntry first;
        first.key = 0;
        first.fileBlock = 1;
        t.blocks->emplace(0, first);
    } catch (const std::bad_alloc&) {
        terrainError("Unable to allocate memory");
        return abandonOpen();
    }
    clearCache();
    coreRandomString(h.reserved, kReservedBytes);

    t.stream = coreFileClose(t.stream);
    t.stream = coreFileOpen(fileName, "w+b");
    if (!t.stream) {
        t.blocks.reset();
        pointIndexDrop();
        return 0;
    }
    t.fileName = fileName;
    t.fileWritten = false;
    t.writeError.clear();

    h.blockSize = extent * 1.2247 / 25.0;
    if (dblLess(h.blockSize, 100.0)) h.blockSize = 100.0;
    h.minY = centreY - 25.0 * h.blockSize / 2.0;
    h.minX = centreX - 25.0 * h.blockSize / 2.0;
    h.maxY = h.minY + 25.0 * h.blockSize;
    h.maxX = h.minX + 25.0 * h.blockSize;

    static const DTMBLOCK zeros{};
    writeTerrainBytes(0, &zeros, sizeof zeros, "block 0");
    writeFileHeader();
    blankBucket(1, 1);
    dbfCloseDbase();   // says so when a write failed
    return t.writeError.empty() ? 1 : 0;
}

namespace {

// Reads and checks the header; 0 after a message when the file is not one to open.
int readHeader() {
    TerrainState& t = terrainState();
    char magic[5] = {};
    if (!coreFileBinRead(magic, 4, t.stream) || strcasecmp(magic, kMagic) != 0) {
        terrainError(strcasecmp(magic, kOldMagic) == 0 ? "You must import this old format file in order to open it"
                                                       : "Terrain file is not a valid DTM file");
        return abandonOpen();
    }
    DTMHEADER& h = t.header;
    if (!coreFileSetPointer(0, 0, t.stream) || !coreFileBinRead(&h, sizeof h, t.stream))
        return refuseDamaged("the header is cut short");
    t.headerOnDisk = h;
    if (const char* problem = headerProblem(h, coreFileLength(t.stream))) return refuseDamaged(problem);
    h.limitsValid = 0;
    return 1;
}

// Version 600 is upgraded when its datum is the project's; 0 after the message when it is not.
int checkVersion600() {
    DTMHEADER& h = terrainState().header;
    if (h.datum == static_cast<WORD>(projGetDatumNumber())) return 1;
    char fileDatum[128];
    coreStrncpy(fileDatum, projGetDatumName(h.datum), sizeof fileDatum);
    terrainError(dbfFormatText("Database datum does not match Project datum.\nOriginal datum = %s, New datum = "
                               "%s\nYou should apply a datum change before using this file.",
                               fileDatum, projGetDatumName(projGetDatumNumber())));
    return abandonOpen();
}

// The upgrade of a version 600 file, written only once the whole file has been checked: a file
// refused later is left as it was.
void upgradeVersion600() {
    TerrainState& t = terrainState();
    DTMHEADER& h = t.header;
    dbfDispStatus("Upgrading database version", kStatusPush);
    h.version = kDtmVersion;
    copyProjectProjection(h);
    coreRandomString(h.reserved, kReservedBytes);
    if (writeFileHeader()) {
        coreFileSetPointer(0, 0, t.stream);
        coreFileBinRead(&h, sizeof h, t.stream);
        h.limitsValid = 0;
    }
    dbfDispStatus(nullptr, kStatusPop);
    t.changed = 1;
    terrainInfo("The terrain database has been upgraded and should be saved");
}

// Versions other than 600: the 601 upgrade in memory and the projection check; 0 when the user
// keeps the project's projection.
int checkProjection() {
    TerrainState& t = terrainState();
    DTMHEADER& h = t.header;
    if (h.version == 601) {
        if (h.projection < -1 || h.projection > 1) h.projection = -1;
        h.version = kDtmVersion;
        t.changed = 1;
        terrainInfo("The terrain database has been upgraded and should be saved");
    }
    if (projectionMatches(h)) return 1;
    const int answer = AfxMessageBox(dbfOwner(),
                                     "Projection parameters in database do not match those in project\n\n"
                                     "Would you like the project updated ?",
                                     "Projection Mismatch", MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) {
        terrainError("Unable to open terrain database");
        return abandonOpen();
    }
    writeFileProjectionToProject(h);
    return 1;
}

}  // namespace

int dbfOpenDbase(const char* fileName, int withDisplay) {
    TerrainState& t = terrainState();
    terrainPointsChanged(t);
    t.changed = 0;
    t.pointTotal = 0;
    t.surfaceNamesLoaded = false;
    t.clockHand = 1;
    projInitGlobalConstants();
    t.stream = coreFileClose(t.stream);
    t.blocks.reset();
    pointIndexDrop();
    t.fileName = fileName ? fileName : "";
    t.fileWritten = false;
    t.writeError.clear();
    t.cancelled = false;
    if (dbfState().cacheSlots == 0 || !dbfState().cacheDescriptors || !dbfState().cacheBlocks) {
        // The library was not started: there is no cache to page the points through.
        terrainError("Unable to allocate memory");
        return 0;
    }
    t.stream = coreFileOpen(fileName, "r+b");
    if (!t.stream) return 0;

    // Everything that can be checked is checked before the file is written or the project
    // changed: a refused file is left byte for byte as it was.
    if (!readHeader() || !checkBlockHeads()) return 0;
    const bool upgrade600 = t.header.version == 600;
    if (upgrade600 ? !checkVersion600() : !checkProjection()) return 0;

    if (withDisplay) loadSurfaceStatusesFromSettings(t.header);
    if (!buildBlockList()) return 0;
    if (upgrade600) upgradeVersion600();

    terrainViewDirty();
    t.namesListMax = coreGetDefaultInt("Survey", "NamesListMax", 200);
    t.namesListNum = coreGetDefaultInt("Survey", "NamesListNum", 0);
    if (withDisplay && terrainHooks().setupDrawing) terrainHooks().setupDrawing(0);
    try {
        // The site limits read every point: a damaged one ends the open like a damaged block list.
        dbfBuckLimit(nullptr, 0);
    } catch (const CUserException&) {
        dbfDispGraph(0, 0, nullptr);
        abandonOpen();
        throw;
    }
    // The point index, from one pass over the blocks in file order.
    pointIndexBuild();
    t.currentSlot = 0;

    const char* labels[4] = {"BTC", "BC", "EC", "ETC"};
    for (int i = 0; i < 4; ++i) coreGetJobDefault("RoadLabel", labels[i], labels[i], t.roadLabels[i], sizeof t.roadLabels[i]);
    terrainAssertInvariants("the open");
    return 1;
}

namespace {

// The header the close writes: the one of the session, except that a session which wrote
// nothing and changed nothing but the cached site limits puts back the bytes it read, so that a
// query leaves the file as it was.
const DTMHEADER& headerToWrite(const TerrainState& t) {
    if (t.fileWritten || t.changed) return t.header;
    DTMHEADER mine = t.header;
    mine.limitsValid = t.headerOnDisk.limitsValid;
    std::memcpy(&mine.limits, &t.headerOnDisk.limits, sizeof mine.limits);
    return std::memcmp(&mine, &t.headerOnDisk, sizeof mine) == 0 ? t.headerOnDisk : t.header;
}

}  // namespace

int dbfCloseDbase() {
    TerrainState& t = terrainState();
    if (!t.stream) return 0;
    const unsigned slots = dbfState().cacheSlots;
    for (unsigned s = 1; s <= slots && s < t.slotBucket.size(); ++s) {
        const DWORD bucket = t.slotBucket[s];
        if (bucket == 0) continue;
        BlockEntry* entry = findBlock(bucket);
        if (!entry) bucketListError("dbfCloseDbase (1)", bucket);
        if (entry->cacheSlot < 0) writeBackSlot(s, true);
        entry->cacheSlot = 0;
        slotDescriptor(s) = CacheDescriptor{};
        t.slotBucket[s] = 0;
    }
    t.currentSlot = 0;
    t.protectedBucket = 0;
    const DTMHEADER& header = headerToWrite(t);
    writeTerrainBytes(0, &header, sizeof header, "header");
    flushTerrainFile();
    t.stream = coreFileClose(t.stream);
    t.blocks.reset();
    pointIndexDrop();
    terrainPointsChanged(t);
    terrainViewDirty();
    t.pointTotal = 0;
    terrainWriteFailed();   // a failed write of the session is said here at the latest
    return 0;
}

const char* dbfTerrainWriteError() {
    const TerrainState& t = terrainState();
    return t.writeError.empty() ? nullptr : t.writeError.c_str();
}

int dbfTerrainCancelled() { return terrainState().cancelled ? 1 : 0; }
