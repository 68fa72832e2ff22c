#pragma once

#include <array>
#include <string_view>

namespace tomely {

// A set of byte values: the bytes a scanner takes in a run, or the bytes an encoding keeps as
// they are.
class ByteSet {
public:
    constexpr ByteSet() = default;
    constexpr explicit ByteSet(std::string_view members) { add(members); }
    // Every byte but those of `excluded`.
    [[nodiscard]] static constexpr ByteSet allExcept(std::string_view excluded) {
        ByteSet set;
        set.members_.fill(true);
        for (const char c : excluded) {
            set.members_[static_cast<unsigned char>(c)] = false;
        }
        return set;
    }
    // This set and the bytes of `more`.
    [[nodiscard]] constexpr ByteSet with(std::string_view more) const {
        ByteSet set = *this;
        set.add(more);
        return set;
    }
    [[nodiscard]] constexpr bool contains(char c) const { return members_[static_cast<unsigned char>(c)]; }

private:
    constexpr void add(std::string_view members) {
        for (const char c : members) {
            members_[static_cast<unsigned char>(c)] = true;
        }
    }

    std::array<bool, 256> members_{};
};

}  // namespace tomely
