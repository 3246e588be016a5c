// nums(a, b, ...): several values as one list, so that one assertion compares them all and its
// message shows every value: EXPECT_EQ(nums(h.version, h.usedBlocks), nums(602, 1)).
#pragma once

#include <vector>

template <typename... T>
std::vector<double> nums(T... values) {
    return {static_cast<double>(values)...};
}
