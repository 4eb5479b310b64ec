#pragma once
// A rectangle as plug-in windows and refresh events report it.

#include <cstdint>

namespace FW {

struct Rect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
};

inline bool operator==(const Rect& a, const Rect& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}
inline bool operator!=(const Rect& a, const Rect& b) {
    return !(a == b);
}

} // namespace FW
