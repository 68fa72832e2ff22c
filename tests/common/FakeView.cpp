#include "common/FakeView.h"

namespace tomely::test {

FakeView::~FakeView() = default;

void FakeView::addSubview(View& subview, Rect frame) {
    auto& child = dynamic_cast<FakeView&>(subview);
    child.superview_ = this;
    child.frame_ = frame;
}

void FakeView::removeFromSuperview() {
    superview_ = nullptr;
}

}  // namespace tomely::test
