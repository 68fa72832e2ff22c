#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tomely {

// The user's small preferences that outlive a run ("lastEmail"). The app binds it to QSettings;
// other front ends and the tests bring their own. Used on the main thread only.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    // The string under `key`; none when there is none or the stored value is not a string.
    [[nodiscard]] virtual std::optional<std::string> stringForKey(std::string_view key) const = 0;
    virtual void setString(std::string_view key, const std::string& value) = 0;
    // Writes what was set to permanent storage now rather than at some later moment.
    virtual void synchronize() = 0;
};

}  // namespace tomely
