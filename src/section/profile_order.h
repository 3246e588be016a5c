// The order a long section's list gives a batch of points added one by one.
//
// The list places a newcomer after the last element (from the tail) that does not compare
// greater than it, so equal offsets (within tolerance) keep their order of arrival. Adding the
// points of a cut one at a time costs a walk back along the list for each point that arrives out
// of order; the cuts instead gather their points and put them in this order once.
#pragma once

#include <vector>

// The positions (indexes into `offsets`, in arrival order) in the order that adding them one by
// one to an empty long section leaves them; empty when an offset is not finite (the caller then
// adds them one by one).
std::vector<int> profileOrder(const std::vector<double>& offsets);
