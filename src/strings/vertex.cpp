// String vertices: CVertexEle, the order of vertex lists and the spike test.
#include <cmath>
#include <numbers>

#include "platform/core.h"
#include "platform/tolerance.h"
#include "strings/strings_internal.h"

CVertexEle::CVertexEle() : STR_VERTEX{} {
    spareValue = kStrNotSet;
    vertexKind = 0;
    vertexRef = kStrNoVertexRef;
}

CVertexEle::CVertexEle(const CVertexEle& other) : UI_ELEMENT(), STR_VERTEX(other) {
    sectionBreak = other.sectionBreak;
    active = other.active;
}

CVertexEle::CVertexEle(const CVertexEle* other) : CVertexEle() {
    if (other) CopyVertex(*other);
}

CVertexEle& CVertexEle::operator=(const CVertexEle& other) {
    CopyVertex(other);
    return *this;
}

void CVertexEle::CopyVertex(const CVertexEle& other) {
    if (&other == this) return;
    Record() = other.Record();
    sectionBreak = other.sectionBreak;
    active = other.active;
}

CVertexEle* CVertexEle::Next(bool all) const {
    auto* element = static_cast<CVertexEle*>(UI_ELEMENT::Next());
    if (!all)
        while (element && !element->active) element = static_cast<CVertexEle*>(element->UI_ELEMENT::Next());
    return element;
}

CVertexEle* CVertexEle::Previous() const {
    auto* element = static_cast<CVertexEle*>(UI_ELEMENT::Previous());
    while (element && !element->active) element = static_cast<CVertexEle*>(element->UI_ELEMENT::Previous());
    return element;
}

// A vertex's terrain point is made on demand (MakeDTMPoint); editing the string only forgets it.
unsigned CVertexEle::InsertEditDTM(WORD) {
    pointRef = 0;
    return 0;
}

unsigned CVertexEle::DTMSurfaceChange(WORD, WORD) { return 0; }

void CVertexEle::RemoveFromDTM(WORD) {}

int dbfStringCompareFunc(void* element, void* other) {
    if (!element || !other) return 0;
    return dblCompare(static_cast<CVertexEle*>(element)->chainage,
                      static_cast<CVertexEle*>(other)->chainage);
}

namespace {

bool atOrigin(const CVertexEle* v) { return v->x == 0.0 && v->y == 0.0; }

// Angles from coreGetAngle are brought into [0, 2 pi) once more, as the stored data may
// come from elsewhere.
double wrapped(double angle) {
    while (angle < -1e-12) angle += 2.0 * std::numbers::pi;
    return angle;
}

}  // namespace

bool strIsSpike(const CVertexEle* previous, const CVertexEle* vertex, const CVertexEle* next) {
    if (!previous || !vertex || !next) return false;
    if (atOrigin(previous) || atOrigin(next)) return false;
    // Only vertices with distinct vertex references can be spikes: neighbours that share one
    // (every vertex of a string typed in by hand has none) are never marked.
    if (dblEqual(previous->vertexRef, vertex->vertexRef)) return false;
    if (dblEqual(vertex->vertexRef, next->vertexRef)) return false;
    const double forward = wrapped(coreGetAngle(next->y - vertex->y, next->x - vertex->x));
    const double backward = wrapped(coreGetAngle(vertex->y - previous->y, vertex->x - previous->x));
    double turn = std::fabs(forward - backward);
    if (dblGreater(turn, std::numbers::pi)) turn = 2.0 * std::numbers::pi - turn;
    return dblGreaterEqual(turn, 3.0 * std::numbers::pi / 4.0);
}
