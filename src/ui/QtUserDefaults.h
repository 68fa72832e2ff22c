#pragma once

#include <QSettings>

#include "shelf/UserDefaults.h"

namespace tomely::ui {

// The user defaults in QSettings: on Linux $XDG_CONFIG_HOME/tomely/tomely-uploader.conf, owner-only
// (the folder 0700, the file 0600) whatever the umask.
class QtUserDefaults final : public UserDefaults {
public:
    QtUserDefaults();
    [[nodiscard]] std::optional<std::string> stringForKey(std::string_view key) const override;
    void setString(std::string_view key, const std::string& value) override;
    void synchronize() override;

private:
    mutable QSettings settings_;
};

}  // namespace tomely::ui
