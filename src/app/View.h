#pragma once

#include "app/Geometry.h"

namespace tomely {

// A view of the window system: the container's own view or a step's view. Views are owned by
// whoever loaded them; a superview never owns its subviews.
class View {
public:
    virtual ~View() = default;
    [[nodiscard]] virtual Size frameSize() const = 0;
    [[nodiscard]] virtual Rect frame() const = 0;
    // Places `subview` inside this view at `frame` (this view's coordinates) and shows it.
    virtual void addSubview(View& subview, Rect frame) = 0;
    virtual void removeFromSuperview() = 0;
};

}  // namespace tomely
