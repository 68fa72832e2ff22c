#pragma once

namespace tomely {

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

// A frame in its superview's coordinates: origin at the bottom-left corner, y growing upwards.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

}  // namespace tomely
