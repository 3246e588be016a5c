// Moving through a table in record-number order or in the order of the selected tag.
#include "platform/table/table_internal.h"

using namespace table_detail;

namespace {

bool ordered(DATA4* data) { return data->selected != nullptr; }

// Stands on the record at place pos of the current order (1-based in record-number order,
// 0-based in a tag), or at eof / on the first record with bof when pos is outside it.
int standAt(DATA4* data, long pos) {
    long size = ordered(data) ? long(data->selected->order.size()) : data->recordCount;
    long first = ordered(data) ? 0 : 1;
    if (pos >= first + size) {
        standAtEof(data);
        return r4eof;
    }
    if (pos < first) {
        if (size == 0) {
            standAtEof(data);
            data->bof = true;
            return r4bof;
        }
        loadCurrent(data, ordered(data) ? long(data->selected->order[0]) : 1);
        data->bof = true;
        return r4bof;
    }
    loadCurrent(data, ordered(data) ? long(data->selected->order[size_t(pos)]) : pos);
    return data->eof ? r4eof : r4success;
}

long orderSize(DATA4* data) {
    if (!ordered(data)) return data->recordCount;
    settleTag(data->selected);
    return long(data->selected->order.size());
}

}  // namespace

int d4top(DATA4* data) {
    if (!data) return e4parm;
    flushRecord(data);
    long size = orderSize(data);
    if (size == 0) {
        standAtEof(data);
        return r4eof;
    }
    return standAt(data, ordered(data) ? 0 : 1);
}

int d4bottom(DATA4* data) {
    if (!data) return e4parm;
    flushRecord(data);
    long size = orderSize(data);
    if (size == 0) {
        standAtEof(data);
        return r4eof;
    }
    return standAt(data, ordered(data) ? size - 1 : size);
}

int d4goBof(DATA4* data) {
    if (!data) return e4parm;
    d4top(data);
    data->bof = true;
    return r4bof;
}

int d4goEof(DATA4* data) {
    if (!data) return e4parm;
    flushRecord(data);
    standAtEof(data);
    return r4eof;
}

int d4skip(DATA4* data, long n) {
    if (!data) return e4parm;
    flushRecord(data);
    long size = orderSize(data);
    if (!ordered(data)) {
        long from = data->eof ? size + 1 : data->recNo;
        return standAt(data, from + n);
    }
    long target;
    if (data->eof || data->recNo < 1 || data->recNo > data->recordCount) {
        target = size + n;
    } else {
        bool exact = false;
        long pos = tagPosition(data->selected, uint32_t(data->recNo), &exact);
        // A record outside the order (filtered out) sits between pos - 1 and pos.
        target = exact || n <= 0 ? pos + n : pos + n - 1;
    }
    return standAt(data, target);
}

int d4go(DATA4* data, long recordNumber) {
    if (!data) return e4parm;
    flushRecord(data);
    if (recordNumber < 1 || recordNumber > data->recordCount) return r4entry;
    loadCurrent(data, recordNumber);
    return data->eof ? e4read : r4success;
}

long d4recNo(DATA4* data) { return data ? data->recNo : 0; }
int d4eof(DATA4* data) { return data ? int(data->eof) : 1; }
int d4bof(DATA4* data) { return data ? int(data->bof) : 1; }

int d4deleted(DATA4* data) { return data && !data->record.empty() && data->record[0] == '*'; }

static void markDeletion(DATA4* data, char mark) {
    if (!data || (data->eof && !data->appending) || data->record[0] == mark) return;
    data->record[0] = mark;
    data->changed = true;
}

void d4delete(DATA4* data) { markDeletion(data, '*'); }
void d4recall(DATA4* data) { markDeletion(data, ' '); }
