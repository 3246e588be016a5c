// Long sections: the ordered list of LSECTION points and its readers.
#include <algorithm>
#include <cmath>

#include "database/section.h"

// The list of a long section with the number of LongSection objects that use it: assignment and
// copying share the list, and the last user deletes it.
class LongSection::SharedList : public UI_LIST {
public:
    explicit SharedList(UI_COMPARE compare) : UI_LIST(compare) {}
    int users = 1;
};

namespace {

// Ascending offset; offsets within the tolerance of the second one are equal.
int compareOffsets(void* element, void* other) {
    const double a = static_cast<LSECTION*>(static_cast<UI_ELEMENT*>(element))->offset;
    const double b = static_cast<LSECTION*>(static_cast<UI_ELEMENT*>(other))->offset;
    return dblCompare(a, b);
}

LSECTION* asPoint(UI_ELEMENT* e) { return static_cast<LSECTION*>(e); }

}  // namespace

LongSection::LongSection() : list(new SharedList(compareOffsets)) {}

LongSection::~LongSection() {
    if (list && --list->users == 0) delete list;
    list = nullptr;
}

LongSection::LongSection(const LongSection& other) : list(other.list) { ++list->users; }

LongSection& LongSection::operator=(const LongSection& other) {
    if (list == other.list) return *this;
    ++other.list->users;
    if (--list->users == 0) delete list;
    list = other.list;
    return *this;
}

LSECTION* LongSection::Add(LSECTION* element) { return asPoint(list->Add(element)); }
LSECTION* LongSection::Add(LSECTION* element, LSECTION* after) { return asPoint(list->Add(element, after)); }

LSECTION* LongSection::AddOffsetElevation(double offset, double elevation, short code) {
    auto* point = new LSECTION;
    point->offset = offset;
    point->elevation = elevation;
    point->code = code;
    return Add(point);
}

int LongSection::Count() const { return list->Count(); }
LSECTION* LongSection::First() { return asPoint(list->First()); }
LSECTION* LongSection::Last() { return asPoint(list->Last()); }
LSECTION* LongSection::Current() { return asPoint(list->Current()); }
LSECTION* LongSection::SetCurrent(LSECTION* element) { return asPoint(list->SetCurrent(element)); }
LSECTION* LongSection::Get(int i) { return asPoint(list->Get(i)); }
LSECTION* LongSection::Get(int (*cmp)(void*, void*), void* key) { return cmp ? asPoint(list->Get(cmp, key)) : nullptr; }
int LongSection::Index(const LSECTION* element) { return list->Index(element); }
LSECTION* LongSection::Subtract(LSECTION* element) { return asPoint(list->Subtract(element)); }
void LongSection::Sort() { list->Sort(); }
void LongSection::Destroy() { list->Destroy(); }

// The readers walk the elements by their links: the same order as by index, one step each.

int dbfLSectTrav(double offset, LongSection* ls) {
    if (!ls || ls->Count() < 2) return 0;
    int i = 1;
    for (LSECTION* a = ls->Get(0); a; ++i) {
        auto* b = static_cast<LSECTION*>(a->Next());
        if (!b) break;
        if (!dblLess(offset, a->offset) && dblLess(offset, b->offset)) return i;
        a = b;
    }
    return 0;
}

double dbfLInterpElevation(double offset, int seg, LongSection* ls) {
    if (!ls || seg < 1) return 0.0;
    LSECTION* a = ls->Get(seg - 1);
    LSECTION* b = ls->Get(seg);
    if (!a || !b) return 0.0;
    return a->elevation - (a->elevation - b->elevation) * (a->offset - offset) / (a->offset - b->offset + 1e-21);
}

int dbfLongSectElevation(double offset, LongSection* ls, double& elevation) {
    elevation = 0.0;
    if (!ls) return 0;
    LSECTION* previous = nullptr;
    for (LSECTION* p = ls->Get(0); p; p = static_cast<LSECTION*>(p->Next())) {
        if (dblLess(std::fabs(p->offset - offset), 0.0005)) {
            elevation = p->elevation;
            return 1;
        }
        if (previous && dblLess(previous->offset, offset) && dblLess(offset, p->offset)) {
            elevation = previous->elevation + (p->elevation - previous->elevation) * (offset - previous->offset) /
                                                  (p->offset - previous->offset + 1e-21);
            return 1;
        }
        previous = p;
    }
    return 0;
}

void dbfLongSectLimits(_bsRECT& box, LongSection* ls) {
    box = bsRectForLimits();
    if (!ls) return;
    for (LSECTION* p = ls->Get(0); p; p = static_cast<LSECTION*>(p->Next())) {
        box.left = std::min(box.left, p->offset);
        box.right = std::max(box.right, p->offset);
        box.top = std::max(box.top, p->elevation);
        box.bottom = std::min(box.bottom, p->elevation);
    }
}
