#include "shelf/SecretServiceKeychain.h"

#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <cstdlib>
#include <string>

namespace tomely {
namespace {

// The items the Secret Service holds for a service and account, as any client sees them, asked
// over D-Bus directly (libsecret's own search leaks the items it builds).
int itemCount(const char* service, const char* account) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    GVariantBuilder attributes;
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&attributes, "{ss}", "service", service);
    g_variant_builder_add(&attributes, "{ss}", "account", account);
    GVariant* found = bus == nullptr
                          ? nullptr
                          : g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", "/org/freedesktop/secrets",
                                                        "org.freedesktop.Secret.Service", "SearchItems",
                                                        g_variant_new("(a{ss})", &attributes), G_VARIANT_TYPE("(aoao)"),
                                                        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    if (found == nullptr) {
        ADD_FAILURE() << (error != nullptr ? error->message : "no session bus");
        g_clear_error(&error);
        g_clear_object(&bus);
        return -1;
    }
    GVariant* unlocked = g_variant_get_child_value(found, 0);
    GVariant* locked = g_variant_get_child_value(found, 1);
    const auto count = static_cast<int>(g_variant_n_children(unlocked) + g_variant_n_children(locked));
    g_variant_unref(unlocked);
    g_variant_unref(locked);
    g_variant_unref(found);
    g_object_unref(bus);
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
