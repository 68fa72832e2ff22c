#pragma once

#include "app/View.h"

namespace tomely::test {

class FakeView : public View {
public:
    explicit FakeView(Size size = {}) : size_(size) {}
    ~FakeView() override;

    [[nodiscard]] Size frameSize() const override { return size_; }
    // As when the user resizes the window.
    void setFrameSize(Size size) { size_ = size; }
    [[nodiscard]] Rect frame() const override { return frame_; }
    void addSubview(View& subview, Rect frame) override;
    void removeFromSuperview() override;

    [[nodiscard]] FakeView* superview() const { return superview_; }

private:
    Size size_;
    Rect frame_;
    FakeView* superview_ = nullptr;
};

}  // namespace tomely::test
