#include <nlohmann/json.hpp>

#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using client::PartForm;
using client::Target;

class PartUploadTest : public ShelfTest {
protected:
    void SetUp() override {
        ShelfTest::SetUp();
        ada_ = signedIn(kAda, kAdaPassword);
        parts_ = client::splitBook(sampleBook(3));
        ASSERT_EQ(ada_->postManifest("G3", client::manifestJson(parts_, "G3", target_)).status, 200);
    }

    [[nodiscard]] PartForm form(std::size_t index) const {
        return client::partForm(parts_[index], index, parts_.size(), target_);
    }

    [[nodiscard]] std::size_t askedCount() const {
        const auto reply = ada_->postManifest("G3", client::manifestJson(parts_, "G3", target_));
        return nlohmann::json::parse(reply.body).size();
    }

    const Target target_{{}, "Probe"};
    std::unique_ptr<client::ShelfClient> ada_;
    std::vector<client::Part> parts_;
};

void setField(PartForm& form, const std::string& key, const std::string& value) {
    for (auto& field : form.fields) {
        if (field.first == key) {
            field.second = value;
            return;
        }
    }
    form.fields.emplace_back(key, value);
}

void dropField(PartForm& form, const std::string& key) {
    std::erase_if(form.fields, [&](const auto& field) { return field.first == key; });
}

TEST_F(PartUploadTest, RefusesEveryPartThatDoesNotMatchWhatItClaimsAndStoresNothing) {
    // Part 1 is 1,024,000 bytes of noise, part 4 the small index.xml.
    const auto& picture = parts_[1];
    const struct {
        const char* name;
        std::function<void(PartForm&)> change;
        int status;
        std::string reason;
    } cases[] = {
        {"wrong crc", [&](auto& f) { setField(f, "crc", std::to_string(picture.crc ^ 1U)); }, 400,
         "the part's CRC-32 is " + std::to_string(picture.crc) + " but \"crc\" is " + std::to_string(picture.crc ^ 1U)},
        {"wrong size", [](auto& f) { setField(f, "size", "1023999"); }, 400,
         "the part inflates to 1024000 bytes but \"size\" is 1023999"},
        {"content changed on the way",
         [](auto& f) { f.file[f.file.size() / 2] = static_cast<char>(f.file[f.file.size() / 2] ^ 0x55); }, 400,
         "fingerprint of the part is "},
        {"content of another part", [&](auto& f) { f.file = parts_[4].deflated; }, 400,
         "fingerprint of the part is " + parts_[4].fingerprint + " but the manifest says " + picture.fingerprint},
        {"name not in the manifest", [](auto& f) { setField(f, "name", "/images/other.png.part00000"); }, 409,
         "no pending manifest of book G3 names \"/images/other.png.part00000\""},
        {"name climbing out", [](auto& f) { setField(f, "name", "/../images/cover.png.part00001"); }, 400,
         "name \"/../images/cover.png.part00001\" holds an empty, \".\" or \"..\" path segment"},
        {"batchTotal not a number", [](auto& f) { setField(f, "batchTotal", "four"); }, 400,
         "field \"batchTotal\" is not a number"},
        {"batchCurrent beyond batchTotal", [](auto& f) { setField(f, "batchCurrent", "5"); }, 400,
         "field \"batchCurrent\" is beyond \"batchTotal\""},
        {"size with a blank", [](auto& f) { setField(f, "size", " 1024000"); }, 400, "field \"size\" is not a number"},
        {"crc beyond 32 bits", [](auto& f) { setField(f, "crc", "4294967296"); }, 400, "field \"crc\" is not a CRC-32"},
        {"not zipped", [](auto& f) { setField(f, "isZipped", "0"); }, 400,
         "field \"isZipped\" must be 1: parts are sent raw-deflated"},
        {"no crc", [](auto& f) { dropField(f, "crc"); }, 400, "field \"crc\" is missing"},
        {"field twice", [](auto& f) { f.fields.emplace_back("size", "1024000"); }, 400,
         "field \"size\" is given more than once"},
        {"other title than the manifest", [](auto& f) { setField(f, "bookName", "Other"); }, 400,
         "fields \"bookId\" and \"bookName\" differ from the manifest"},
        {"other format", [](auto& f) { setField(f, "format", "zip"); }, 400, "field \"format\" must be \"iba\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PartForm changed = form(1);
        c.change(changed);
        const auto reply = ada_->postPart("G3", changed);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.body.rfind(c.reason, 0), 0U) << reply.body;
        EXPECT_EQ(askedCount(), parts_.size());
    }
    EXPECT_EQ(ada_->postPart("G3", form(1)).status, 200);
    EXPECT_EQ(askedCount(), parts_.size() - 1);
}

TEST_F(PartUploadTest, RefusesBodiesThatAreNotMultipartOrNotDeflate) {
    const auto plain =
        ada_->post("/api/author/shelf/upload/G3/", "name=%2Fempty.part00000", "application/x-www-form-urlencoded");
    EXPECT_EQ(plain.status, 400);
    EXPECT_EQ(plain.body, "a part upload is a multipart/form-data body\n");

    // Bytes that are not deflate data, announced honestly under their own fingerprint.
    client::Part junk;
    junk.name = "/junk.part00000";
    junk.bytes = "whatever";
    junk.deflated = "\xff\xff\xff\xff not deflate";
    junk.fingerprint = client::fingerprintOf(junk.deflated);
    const Target target{{}, "Junk"};
    ASSERT_EQ(ada_->postManifest("G4", client::manifestJson({junk}, "G4", target)).status, 200);
    const auto reply = ada_->postPart("G4", client::partForm(junk, 0, 1, target));
    EXPECT_EQ(reply.status, 400);
    EXPECT_EQ(reply.body, "the part is not raw deflate data of at most 4194304 bytes\n");
}

TEST_F(PartUploadTest, APartRequestOverFourMebibytesIs413AndTheNextUploadIsServed) {
    PartForm huge = form(1);
    huge.file = randomBytes(4U * 1024U * 1024U + 1U, 9);
    const auto reply = ada_->postPart("G3", huge);
    EXPECT_EQ(reply.status, 413);
    EXPECT_EQ(reply.body, "a part upload may be at most 4194304 bytes long\n");
    EXPECT_EQ(ada_->postPart("G3", form(4)).status, 200);
}

}  // namespace
}  // namespace tomely::shelf::test
