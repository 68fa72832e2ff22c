#include "platform/SecretText.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>

#include "platform/NotDumpable.h"

namespace tomely {
namespace {

// The memory a string owns, whatever its current length.
std::string ownedBytes(const std::string& text) {
    return {text.data(), text.capacity()};
}

TEST(SecretTextTest, ErasingOverwritesEveryByteTheBufferHeld) {
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"short enough to live inside the string", "pw"},
        {"on the heap", "correct horse battery staple, forty-four chars"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        const char* buffer = text.data();
        eraseSecret(text);
        EXPECT_EQ(text.data(), buffer);
        EXPECT_EQ(ownedBytes(text), std::string(text.capacity(), '\0'));

        std::vector<std::uint8_t> bytes(c.text.begin(), c.text.end());
        eraseSecret(bytes);
        EXPECT_TRUE(bytes.empty());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.capacity()),
                  std::string(bytes.capacity(), '\0'));
    }
    // A body that never held anything has no buffer to overwrite.
    std::vector<std::uint8_t> none;
    eraseSecret(none);
    EXPECT_TRUE(none.empty());
}

TEST(SecretTextTest, NoCopyIsLeftBehindWhenItMovesOrGrows) {
    std::string typed = "hunter2";
    SecretText first(std::move(typed));
    EXPECT_EQ(ownedBytes(typed), std::string(typed.capacity(), '\0')) << "the move's leftovers";

    SecretText second(std::move(first));
    EXPECT_EQ(second.text(), "hunter2");
    EXPECT_EQ(ownedBytes(first.text()), std::string(first.text().capacity(), '\0'));

    // The buffer it grows out of is overwritten before it is freed, which no test can read.
    SecretText grown;
    grown.append("a password that outgrows ");
    const char* firstBuffer = grown.text().data();
    grown.append("the buffer it was first read into, twice over");
    EXPECT_EQ(grown.text(), "a password that outgrows the buffer it was first read into, twice over");
    EXPECT_NE(grown.text().data(), firstBuffer) << "it had to grow";
    grown.removeLast();
    EXPECT_EQ(grown.text(), "a password that outgrows the buffer it was first read into, twice ove");
}

// The dumpable flag at each moment, read back in a child process so that the test's own process
// keeps its flag whatever happens.
std::array<int, 6> dumpableFlagsInAChild() {
    int channel[2];
    if (::pipe(channel) != 0) {
        ADD_FAILURE() << "no pipe";
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        std::array<int, 6> flags{};
        flags[0] = ::prctl(PR_GET_DUMPABLE);
        {
            SecretText password(std::string("hunter2"));
            flags[1] = ::prctl(PR_GET_DUMPABLE);
            {
                NotDumpableScope request;
                password.erase();
                flags[2] = ::prctl(PR_GET_DUMPABLE);
            }
            flags[3] = ::prctl(PR_GET_DUMPABLE);
            SecretText reading;
            SecretText moved(std::move(reading));
            flags[4] = ::prctl(PR_GET_DUMPABLE);
        }
        flags[5] = ::prctl(PR_GET_DUMPABLE);
        const bool written = ::write(channel[1], flags.data(), sizeof flags) == sizeof flags;
        ::_exit(written ? 0 : 1);
    }
    ::close(channel[1]);
    std::array<int, 6> flags{};
    const bool read = ::read(channel[0], flags.data(), sizeof flags) == sizeof flags;
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(read && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return flags;
}

TEST(SecretTextTest, TheProcessIsNotDumpableWhileAPasswordIsHeld) {
    const std::array<int, 6> flags = dumpableFlagsInAChild();
    const std::array<int, 6> expected = {
        1,  // before
        0,  // a password held
        0,  // erased, while another holder (a request) still holds
        1,  // the last holder gone
        0,  // an empty text made to read a password into, moved
        1,  // all gone
    };
    EXPECT_EQ(flags, expected);
}

}  // namespace
}  // namespace tomely
