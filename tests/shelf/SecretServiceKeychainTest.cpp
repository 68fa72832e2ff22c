#include "shelf/SecretServiceKeychain.h"

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <cstdlib>
#include <string>

namespace tomely {
namespace {

// The items the Secret Service holds for a service and account, as any client sees them.
int itemCount(const char* service, const char* account) {
    SecretSchema schema{};
    schema.name = "org.tomely.Uploader.GenericPassword";
    schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
    GError* error = nullptr;
    GList* items = secret_password_search_sync(&schema, SECRET_SEARCH_ALL, nullptr, &error, "service", service,
                                               "account", account, nullptr);
    if (error != nullptr) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
    }
    const int count = static_cast<int>(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    return count;
}

class SecretServiceKeychainTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* reason = std::getenv("TOMELY_NO_SECRET_SERVICE")) {
            const char* ci = std::getenv("CI");
            if (ci != nullptr && std::string(ci) == "true") {
                FAIL() << "CI needs a Secret Service, but there is none: " << reason;
            }
            GTEST_SKIP() << "no Secret Service to test against: " << reason;
        }
    }

    SecretServiceKeychain keychain;
};

TEST_F(SecretServiceKeychainTest, APasswordComesBackAndAChangeReplacesTheItem) {
    EXPECT_EQ(keychain.findGenericPassword("Tomely_uploader", "ann@example.com"), std::nullopt);
    ASSERT_TRUE(keychain.storeGenericPassword("Tomely_uploader", "ann@example.com", "first"));
    ASSERT_TRUE(keychain.storeGenericPassword("Tomely_uploader", "bob@example.com",
                                              "b\xC3\xB6"
                                              "b's"));
    EXPECT_EQ(keychain.findGenericPassword("Tomely_uploader", "ann@example.com"), "first");

    ASSERT_TRUE(keychain.storeGenericPassword("Tomely_uploader", "ann@example.com", "second"));
    EXPECT_EQ(keychain.findGenericPassword("Tomely_uploader", "ann@example.com"), "second");
    EXPECT_EQ(itemCount("Tomely_uploader", "ann@example.com"), 1) << "updated, not added again";
    EXPECT_EQ(keychain.findGenericPassword("Tomely_uploader", "bob@example.com"),
              "b\xC3\xB6"
              "b's");
    EXPECT_EQ(keychain.findGenericPassword("Another_service", "ann@example.com"), std::nullopt);
}

// Run without a reachable bus (see CMakeLists.txt): every call fails, quietly.
TEST(SecretServiceKeychainUnreachableTest, CallsFailQuietly) {
    SecretServiceKeychain keychain;
    EXPECT_FALSE(keychain.storeGenericPassword("Tomely_uploader", "ann@example.com", "secret"));
    EXPECT_EQ(keychain.findGenericPassword("Tomely_uploader", "ann@example.com"), std::nullopt);
}

}  // namespace
}  // namespace tomely
