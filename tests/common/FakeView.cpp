#include "common/FakeView.h"

namespace tomely::test {

FakeView::~FakeView() = default;

void FakeView::addSubview(View& subview) {
    dynamic_cast<FakeView&>(subview).superview_ = this;
}

void FakeView::removeFromSuperview() {
    superview_ = nullptr;
}

}  // namespace tomely::test
