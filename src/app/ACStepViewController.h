#pragma once

#include <memory>
#include <string_view>

#include "app/ACMainViewController.h"
#include "app/View.h"
#include "app/ViewBundle.h"

namespace tomely {

// Base of every wizard step. A step is created by its predecessor, installs itself in the
// container (which then owns it) and keeps a reference to the container for its whole life;
// the container outlives every step. A step is destroyed on the main thread whoever lets go of it
// last: its view's controls belong to that thread, and a worker that reported for the step (the
// locate-book step's extraction) may well let go of it after the container has.
class ACStepViewController : public std::enable_shared_from_this<ACStepViewController> {
public:
    virtual ~ACStepViewController() = default;
    ACStepViewController(const ACStepViewController&) = delete;
    ACStepViewController& operator=(const ACStepViewController&) = delete;

    // Creates a step of type `Step` with the view described as `nibName` in `bundle`; nullptr
    // when the bundle has no such description. `Step` takes (view, container, args...).
    template <class Step, class... Args>
    [[nodiscard]] static std::shared_ptr<Step> initWithNibName(std::string_view nibName, ViewBundle& bundle,
                                                               ACMainViewController& mainViewController,
                                                               Args&&... args) {
        std::unique_ptr<View> view = bundle.loadView(nibName);
        if (!view) {
            return nullptr;
        }
        return std::shared_ptr<Step>(new Step(std::move(view), mainViewController, std::forward<Args>(args)...),
                                     [](Step* step) { destroyOnMainThread(step); });
    }

    // Makes the container own this step and show its view. Every step overrides it, calls this
    // base first, then selects its indicator and binds its Continue block.
    virtual void addToMainViewController();

    [[nodiscard]] ACMainViewController& mainViewController() const { return *mainViewController_; }
    void setMainViewController(ACMainViewController& mainViewController) { mainViewController_ = &mainViewController; }
    [[nodiscard]] View& view() const { return *view_; }

protected:
    ACStepViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController);

    // Deletes `step` now on the main thread, or else posts its deletion there.
    static void destroyOnMainThread(ACStepViewController* step);

    // The step's own view type, as its description builds it.
    template <class StepView>
    [[nodiscard]] StepView& viewAs() const {
        return dynamic_cast<StepView&>(*view_);
    }

private:
    std::unique_ptr<View> view_;
    ACMainViewController* mainViewController_;
};

}  // namespace tomely
