#include "upload/SyncManifest.h"

#include <gtest/gtest.h>

#include "json/JSONDeserializer.h"
#include "platform/SystemLog.h"

namespace tomely {
namespace {

TEST(SyncManifestTest, OnlyOfferedNamesAreSentOnceAndAnythingElseStopsTheSync) {
    const KeyedFingerprints offered = {{"/a.part00000", "x_1"}, {"/b.part00000", "y_2"}};
    struct Case {
        const char* answer;
        std::optional<std::vector<std::string>> names;
        std::string refusal;  // the error's description
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"[]", std::vector<std::string>{}, "", {}},
        {R"(["\/b.part00000","\/a.part00000"])", std::vector<std::string>{"/b.part00000", "/a.part00000"}, "", {}},
        {R"(["\/a.part00000","\/a.part00000"])",
         std::vector<std::string>{"/a.part00000"},
         "",
         {"Not uploading \"/a.part00000\" twice"}},
        {R"(["\/a.part00000","\/..\/secret"])",
         std::nullopt,
         "the service's answer names \"/../secret\", which the manifest did not offer",
         {}},
        {R"(["\/a.part00000",7])", std::nullopt, "the service's answer is not a list of part names", {}},
        {R"({"names":[]})", std::nullopt, "the service's answer is not a list of part names", {}},
        {"not JSON", std::nullopt, "the service's answer is not a list of part names", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        SystemLog::Capture log;
        Error error;
        EXPECT_EQ(namesToSend(JSONDeserializer::deserializer().deserialize(c.answer), offered, &error), c.names);
        EXPECT_EQ(error.domain.empty() ? "" : error.localizedDescription(), c.refusal);
        EXPECT_EQ(log.lines(), c.log);
    }
}

}  // namespace
}  // namespace tomely
