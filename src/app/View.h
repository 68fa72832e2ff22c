#pragma once

namespace tomely {

// A view of the window system: the container's step area or a step's view. Views are owned by
// whoever loaded them; a superview never owns its subviews.
class View {
public:
    virtual ~View() = default;
    // Shows `subview` inside this view, which lays it out: the subview fills this view and
    // follows its size and the size its own content needs.
    virtual void addSubview(View& subview) = 0;
    virtual void removeFromSuperview() = 0;
};

}  // namespace tomely
