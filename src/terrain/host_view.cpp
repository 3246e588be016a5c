// What a host may read of the open terrain file without reaching into the block store: the
// header, and whether a point number names a stored point.
#include "database/terrain.h"
#include "terrain/terrain_state.h"

namespace {
bool terrainFileOpen() { return terrainState().blocks != nullptr && terrainState().stream != nullptr; }
}  // namespace

int dbfGetHeader(DTMHEADER& header) {
    if (!terrainFileOpen()) return 0;
    header = terrainState().header;
    return 1;
}

int dbfPointExists(unsigned number) {
    if (!terrainFileOpen() || number == 0) return 0;
    DWORD bucket = 0;
    unsigned slot = 0;
    decodePointNumber(number, bucket, slot);
    const BlockEntry* entry = findBlock(bucket);
    if (!entry || entry->fileBlock > terrainState().header.usedBlocks) return 0;
    return slot <= slotCount(grabBucket(bucket)) ? 1 : 0;
}
