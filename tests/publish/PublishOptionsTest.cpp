#include "publish/PublishOptions.h"

#include <gtest/gtest.h>

#include <map>

namespace tomely {
namespace {

TEST(PublishOptionsTest, RatesReadAsCurlReadsThem) {
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"500K", 512'000},     {"2M", 2'097'152},     {"1.5m", 1'572'864},   {"64000", 64'000},    {"1k", 1024},
        {"", std::nullopt},    {"0", std::nullopt},   {"-1M", std::nullopt}, {"2G", std::nullopt}, {"M", std::nullopt},
        {"1 M", std::nullopt}, {"0.1", std::nullopt}, {"nan", std::nullopt},
    };
    for (const auto& [text, bytes] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseRate(text), bytes);
    }
}

TEST(PublishOptionsTest, TheCommandLineIsReadWithTheEnvironmentBehindIt) {
    std::map<std::string, std::string> variables{{"TOMELY_EMAIL", "env@example.com"},
                                                 {"TOMELY_SERVICE_URL", "http://env"}};
    const auto environment = [&variables](const char* name) -> std::optional<std::string> {
        const auto found = variables.find(name);
        return found == variables.end() ? std::nullopt : std::optional(found->second);
    };
    auto parsed = parsePublishCommandLine({"--replace=42", "book.iba", "--limit-rate", "2M", "--json"}, environment);
    ASSERT_TRUE(std::holds_alternative<PublishOptions>(parsed)) << std::get<UsageError>(parsed).message;
    const auto& options = std::get<PublishOptions>(parsed);
    EXPECT_EQ(options.bookPath, "book.iba");
    EXPECT_EQ(options.email, "env@example.com");
    EXPECT_EQ(options.replaceBookId, "42");
    EXPECT_EQ(options.serviceURL, "http://env");
    EXPECT_EQ(options.maxSendBytesPerSecond, 2'097'152U);
    EXPECT_TRUE(options.json);
    parsed = parsePublishCommandLine({"--email", "a@b", "--service", "http://arg", "b.iba"}, environment);
    EXPECT_EQ(std::get<PublishOptions>(parsed).email, "a@b");
    EXPECT_EQ(std::get<PublishOptions>(parsed).serviceURL, "http://arg");
    EXPECT_EQ(std::get<PublishOptions>(parsed).partsInFlight, 4U) << "four parts at once unless told";
    EXPECT_EQ(std::get<PublishOptions>(parsed).retries, 4) << "five attempts in all unless told";
    parsed = parsePublishCommandLine({"--parallel", "1", "--retries=0", "b.iba"}, environment);
    EXPECT_EQ(std::get<PublishOptions>(parsed).partsInFlight, 1U);
    EXPECT_EQ(std::get<PublishOptions>(parsed).retries, 0);
    parsed = parsePublishCommandLine({"--parallel=16", "--retries", "10", "b.iba"}, environment);
    EXPECT_EQ(std::get<PublishOptions>(parsed).partsInFlight, 16U);
    EXPECT_EQ(std::get<PublishOptions>(parsed).retries, 10);
    EXPECT_TRUE(std::holds_alternative<HelpRequested>(parsePublishCommandLine({"b.iba", "--help"}, environment)));
    EXPECT_TRUE(std::holds_alternative<VersionRequested>(parsePublishCommandLine({"--version", "b.iba"}, environment)));

    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{}, "which book?"},
        {{"a.iba", "b.iba"}, "name one book"},
        {{"--new", "T", "--replace", "1", "b.iba"}, "exclude each other"},
        {{"--new", "", "b.iba"}, "--new needs a title"},
        {{"b.iba", "--replace"}, "--replace needs a value"},
        {{"--json=yes", "b.iba"}, "takes no value"},
        {{"--limit-rate", "fast", "b.iba"}, "500K or 2M"},
        {{"--parallel", "0", "b.iba"}, "--parallel wants a number of parts from 1 to 16, not \"0\""},
        {{"--parallel", "17", "b.iba"}, "--parallel wants a number of parts from 1 to 16, not \"17\""},
        {{"--parallel", "four", "b.iba"}, "--parallel wants a number of parts from 1 to 16, not \"four\""},
        {{"--retries", "-1", "b.iba"}, "--retries wants a number from 0 to 10, not \"-1\""},
        {{"--retries", "11", "b.iba"}, "--retries wants a number from 0 to 10, not \"11\""},
        {{"b.iba", "--retries"}, "--retries needs a value"},
        {{"--password", "secret", "b.iba"}, "--password-stdin"},
        {{"--verbose", "b.iba"}, "unknown option --verbose"},
        {{"--replace", "", "b.iba"}, "--replace needs a book id"},
        {{"--service", "127.0.0.1:8750", "b.iba"},
         "--service wants a URL that starts with http:// or https://, such as https://books.example.org, not "
         "\"127.0.0.1:8750\""},
    };
    for (const auto& [arguments, message] : refused) {
        SCOPED_TRACE(message);
        const auto result = parsePublishCommandLine(arguments, environment);
        ASSERT_TRUE(std::holds_alternative<UsageError>(result));
        EXPECT_NE(std::get<UsageError>(result).message.find(message), std::string::npos)
            << std::get<UsageError>(result).message;
    }
    variables["TOMELY_SERVICE_URL"] = "books.example.org";
    const auto schemeless = parsePublishCommandLine({"b.iba"}, environment);
    ASSERT_TRUE(std::holds_alternative<UsageError>(schemeless));
    EXPECT_EQ(std::get<UsageError>(schemeless).message,
              "TOMELY_SERVICE_URL wants a URL that starts with http:// or https://, such as https://books.example.org, "
              "not \"books.example.org\"");
    variables.clear();
    const auto noEmail = parsePublishCommandLine({"b.iba"}, environment);
    ASSERT_TRUE(std::holds_alternative<UsageError>(noEmail));
    EXPECT_NE(std::get<UsageError>(noEmail).message.find("TOMELY_EMAIL"), std::string::npos);
}

}  // namespace
}  // namespace tomely
