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
    return 0;
}

// A header this code can work with: the layout it was written with and as many blocks in the
// file as it counts. Anything else is not a terrain file we can trust.
bool headerUsable(const DTMHEADER& h, std::int64_t fileLength) {
    if (h.cellsPerSide != kDtmCellsPerSide || h.blockLength != kDtmBlockLength) return false;
    if (h.totalBlocks < 1 || h.usedBlocks >= h.totalBlocks) return false;
    if (fileLength < (static_cast<std::int64_t>(h.totalBlocks) + 1) * kDtmBlockLength) return false;
    for (double v : {h.minY, h.minX, h.maxY, h.maxX, h.blockSize})
        if (!std::isfinite(v)) return false;
    return h.blockSize > 0.0;
}

// A damaged block list ends the open: no database stays open, the status and progress are
// cleared, and the message is followed by the user exception.
[[noreturn]] void failBlockList(const char* where, DWORD bucket) {
    TerrainState& t = terrainState();
    t.stream = coreFileClose(t.stream);
    t.blocks.reset();
    dbfDispStatus(nullptr, kStatusPop);
    dbfDispGraph(0, 0, nullptr);
    bucketListError(where, bucket);
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

    const int step = dbfProgressStep(h.totalBlocks);
    std::vector<DWORD> nextOf(h.totalBlocks + 1, 0);   // chain links of the used buckets
    for (DWORD block = 1; block <= h.totalBlocks; ++block) {
        const bool used = block <= h.usedBlocks;
        DTMBLOCKHEAD head{};
        SURVCOORD first{};
        coreFileSetPointer(0, static_cast<std::int64_t>(block) * kDtmBlockLength, t.stream);
        if (!coreFileBinRead(&head, sizeof head, t.stream) || (used && !coreFileBinRead(&first, sizeof first, t.stream)))
            head = DTMBLOCKHEAD{};
        BlockEntry* entry = findBlock(head.bucket);
        if (!entry) failBlockList(used ? "dbfOpenDbase (1)" : "dbfOpenDbase (2)", head.bucket);
        entry->fileBlock = block;
        entry->cacheSlot = 0;
        if (used) {
            t.pointTotal += head.count > kDtmPointsPerBlock ? kDtmPointsPerBlock : head.count;
            storedToProjected(first);
            entry->cell = cellOf(first.y, first.x, true);
            if (head.previous == 0) t.cellHeads[entry->cell] = head.bucket;
            nextOf[head.bucket] = head.next;
        } else {
            entry->cell = 0;
        }
        if (block % static_cast<DWORD>(step) == 0) dbfDispGraph(static_cast<int>(block), static_cast<int>(h.totalBlocks), text);
    }
    // Every chain must run through used blocks and end: a link to a blank or missing bucket,
    // or a chain that comes back on itself, would send later walks astray or round for ever.
    for (unsigned cell = 1; cell <= kDtmCells; ++cell) {
        DWORD walked = 0;
        for (DWORD bucket = t.cellHeads[cell]; bucket != 0; bucket = nextOf[bucket]) {
            const BlockEntry* entry = findBlock(bucket);
            if (!entry || entry->fileBlock == 0 || entry->fileBlock > h.usedBlocks || ++walked > h.usedBlocks)
                failBlockList("dbfOpenDbase (1)", bucket);
        }
    }
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

int dbfMakeDbase(const char* fileName, double centreY, double centreX, double extent) {
    TerrainState& t = terrainState();
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
        return 0;
    }

    h.blockSize = extent * 1.2247 / 25.0;
    if (dblLess(h.blockSize, 100.0) || !std::isfinite(h.blockSize)) h.blockSize = 100.0;
    h.minY = centreY - 25.0 * h.blockSize / 2.0;
    h.minX = centreX - 25.0 * h.blockSize / 2.0;
    h.maxY = h.minY + 25.0 * h.blockSize;
    h.maxX = h.minX + 25.0 * h.blockSize;

    static const DTMBLOCK zeros{};
    coreFileSetPointer(0, 0, t.stream);
    coreFileBinWrite(&zeros, sizeof zeros, t.stream);
    writeFileHeader();
    blankBucket(1, 1);
    dbfCloseDbase();
    return 1;
}

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
    if (dbfState().cacheSlots == 0 || !dbfState().cacheDescriptors || !dbfState().cacheBlocks) {
        // The library was not started: there is no cache to page the points through.
        terrainError("Unable to allocate memory");
        return 0;
    }
    t.stream = coreFileOpen(fileName, "r+b");
    if (!t.stream) return 0;

    char magic[5] = {};
    if (!coreFileBinRead(magic, 4, t.stream) || strcasecmp(magic, kMagic) != 0) {
        terrainError(strcasecmp(magic, kOldMagic) == 0 ? "You must import this old format file in order to open it"
                                                       : "Terrain file is not a valid DTM file");
        return abandonOpen();
    }
    DTMHEADER& h = t.header;
    if (!coreFileSetPointer(0, 0, t.stream) || !coreFileBinRead(&h, sizeof h, t.stream) ||
        !headerUsable(h, coreFileLength(t.stream))) {
        terrainError("Terrain file is not a valid DTM file");
        return abandonOpen();
    }
    h.limitsValid = 0;

    if (h.version == 600) {
        if (h.datum != static_cast<WORD>(projGetDatumNumber())) {
            char fileDatum[128];
            coreStrncpy(fileDatum, projGetDatumName(h.datum), sizeof fileDatum);
            terrainError(dbfFormatText("Database datum does not match Project datum.\nOriginal datum = %s, New datum = "
                                       "%s\nYou should apply a datum change before using this file.",
                                       fileDatum, projGetDatumName(projGetDatumNumber())));
            return abandonOpen();
        }
        dbfDispStatus("Upgrading database version", kStatusPush);
        h.version = kDtmVersion;
        copyProjectProjection(h);
        coreRandomString(h.reserved, kReservedBytes);
        writeFileHeader();
        coreFileSetPointer(0, 0, t.stream);
        coreFileBinRead(&h, sizeof h, t.stream);
        dbfDispStatus(nullptr, kStatusPop);
        t.changed = 1;
        terrainInfo("The terrain database has been upgraded and should be saved");
    } else {
        if (h.version == 601) {
            if (h.projection < -1 || h.projection > 1) h.projection = -1;
            h.version = kDtmVersion;
            t.changed = 1;
            terrainInfo("The terrain database has been upgraded and should be saved");
        }
        if (!projectionMatches(h)) {
            const int answer = AfxMessageBox(dbfOwner(),
                                             "Projection parameters in database do not match those in project\n\n"
                                             "Would you like the project updated ?",
                                             "Projection Mismatch", MB_YESNO | MB_ICONQUESTION);
            if (answer != IDYES) {
                terrainError("Unable to open terrain database");
                return abandonOpen();
            }
            writeFileProjectionToProject(h);
        }
    }

    if (withDisplay) loadSurfaceStatusesFromSettings(h);
    if (!buildBlockList()) return 0;

    terrainViewDirty();
    t.namesListMax = coreGetDefaultInt("Survey", "NamesListMax", 200);
    t.namesListNum = coreGetDefaultInt("Survey", "NamesListNum", 0);
    if (withDisplay && terrainHooks().setupDrawing) terrainHooks().setupDrawing(0);
    dbfBuckLimit(nullptr, 0);
    t.currentSlot = 0;

    const char* labels[4] = {"BTC", "BC", "EC", "ETC"};
    for (int i = 0; i < 4; ++i) coreGetJobDefault("RoadLabel", labels[i], labels[i], t.roadLabels[i], sizeof t.roadLabels[i]);
    return 1;
}

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
    writeFileHeader();
    t.stream = coreFileClose(t.stream);
    t.blocks.reset();
    terrainPointsChanged(t);
    terrainViewDirty();
    t.pointTotal = 0;
    return 0;
}
