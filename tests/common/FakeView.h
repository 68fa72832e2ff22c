#pragma once

#include "app/View.h"

namespace tomely::test {

class FakeView : public View {
public:
    FakeView() = default;
    ~FakeView() override;

    void addSubview(View& subview) override;
    void removeFromSuperview() override;

    [[nodiscard]] FakeView* superview() const { return superview_; }

private:
    FakeView* superview_ = nullptr;
};

}  // namespace tomely::test
