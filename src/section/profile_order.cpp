// The arrival order of a long section's points turned into the list's order with one sort.
#include "section/profile_order.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "platform/tolerance.h"

// Why one sort gives the same list: an element u stops a newcomer v's walk back along the list
// when v is not below u less u's tolerance (u - tol(u) <= v), and u - tol(u) grows with u. Sort
// the offsets and cut them into runs wherever one offset is below the next one less that one's
// tolerance. For u in an earlier run than v, u - tol(u) < u < v, so u stops v; for w in a later
// run, w - tol(w) is above every offset of v's run, so w never stops v. Each newcomer therefore
// lands inside its own run, at the place the walk over its run alone gives: the runs come in
// ascending order, and inside a run (nearly always one point) the walk is replayed in arrival
// order.
std::vector<int> profileOrder(const std::vector<double>& offsets) {
    for (double o : offsets)
        if (!std::isfinite(o)) return {};
    std::vector<int> order(offsets.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return offsets[a] < offsets[b]; });
    std::vector<int> run;
    for (size_t start = 0; start < order.size();) {
        size_t end = start + 1;
        while (end < order.size() && !dblLess(offsets[order[end - 1]], offsets[order[end]])) ++end;
        if (end - start > 1) {
            std::sort(order.begin() + start, order.begin() + end);  // arrival order
            run.clear();
            for (size_t k = start; k < end; ++k) {
                const int v = order[k];
                size_t at = run.size();
                while (at > 0 && dblLess(offsets[v], offsets[run[at - 1]])) --at;
                run.insert(run.begin() + at, v);
            }
            std::copy(run.begin(), run.end(), order.begin() + start);
        }
        start = end;
    }
    return order;
}
