#include <csignal>
#include <regex>

#include "Options.h"
#include "ShelfHarness.h"
#include "ShelfProcess.h"

namespace tomely::shelf::test {
namespace {

TEST(CommandLineTest, ParsesEveryOptionAndRefusesBadOnesWithAMessage) {
    const auto ok = parseCommandLine({"--listen", "127.0.0.1:0", "--data", "/tmp/d", "--user", "a@b.c:pa:ss",
                                      "--fault-after-parts", "3", "--fault-kind", "drop"});
    ASSERT_EQ(ok.error, "");
    EXPECT_EQ(ok.commandLine.server.port, 0);
    EXPECT_EQ(ok.commandLine.users, (std::vector<std::pair<std::string, std::string>>{{"a@b.c", "pa:ss"}}));
    EXPECT_EQ(ok.commandLine.server.faults.kinds, std::vector<FaultKind>{FaultKind::Drop});
    EXPECT_FALSE(ok.commandLine.server.faults.count.has_value()) << "every later part fails";
    EXPECT_FALSE(parseCommandLine({"--data", "d"}).commandLine.server.faults.afterParts.has_value());
    const auto sequence = parseCommandLine(
        {"--data", "d", "--fault-after-parts", "1", "--fault-kind", "drop,stall,503,500", "--fault-count", "3"});
    ASSERT_EQ(sequence.error, "");
    EXPECT_EQ(
        sequence.commandLine.server.faults.kinds,
        (std::vector<FaultKind>{FaultKind::Drop, FaultKind::Stall, FaultKind::Unavailable, FaultKind::InternalError}));
    EXPECT_EQ(sequence.commandLine.server.faults.count, 3U);

    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } refusals[] = {
        {{}, "--data DIR is required"},
        {{"--data"}, "--data needs a value"},
        {{"serve"}, "unexpected argument serve"},
        {{"--data", "d", "--port", "1"}, "unknown option --port"},
        {{"--data", "d", "--listen", "127.0.0.1:65536"}, "--listen wants HOST:PORT, not \"127.0.0.1:65536\""},
        {{"--data", "d", "--user", "a@b.c:"}, "--user wants EMAIL:PASSWORD with a non-empty password, not \"a@b.c:\""},
        {{"--data", "d", "--tls-cert", "c.pem"}, "--tls-cert and --tls-key go together"},
        {{"--data", "d", "--fault-after-parts", "1", "--fault-kind", "404"},
         "--fault-kind wants 500, 503, drop or stall, not \"404\""},
        {{"--data", "d", "--fault-after-parts", "1", "--fault-kind", "drop,"},
         "--fault-kind wants 500, 503, drop or stall, not \"drop,\""},
        {{"--data", "d", "--fault-after-parts", "1", "--fault-kind", "drop", "--fault-count", "one"},
         "--fault-count wants a number, not \"one\""},
        {{"--data", "d", "--fault-count", "1"}, "--fault-count needs --fault-after-parts and --fault-kind"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.error);
        EXPECT_EQ(parseCommandLine(refusal.arguments).error, refusal.error);
    }
}

TEST(CommandLineTest, TheProgramRefusesBadArgumentsWithStatusTwoAndSaysWhyItCannotListen) {
    const auto [status, output] = client::ShelfProcess::runToEnd(TOMELY_SHELF_EXECUTABLE, {"--listen", "nowhere"});
    EXPECT_EQ(status, 2);
    EXPECT_EQ(output.rfind("tomely-shelf: --listen wants HOST:PORT, not \"nowhere\"\nusage: tomely-shelf", 0), 0U)
        << output;
    TemporaryDirectory data;
    const auto users = data.pathOf("users");
    ::tomely::test::writeFile(users, "ada@example.com:fine\nbob@example.com:\n");
    const auto [fileStatus, said] =
        client::ShelfProcess::runToEnd(TOMELY_SHELF_EXECUTABLE, {"--data", data.path(), "--user-file", users});
    EXPECT_EQ(fileStatus, 2);
    EXPECT_EQ(said, "tomely-shelf: " + users + ", line 2 is not EMAIL:PASSWORD with a non-empty password\n");

    client::ShelfProcess first(TOMELY_SHELF_EXECUTABLE, {"--listen", "127.0.0.1:0", "--data", data.path()});
    const std::string taken = "127.0.0.1:" + std::to_string(first.port());
    const auto [busyStatus, busy] =
        client::ShelfProcess::runToEnd(TOMELY_SHELF_EXECUTABLE, {"--listen", taken, "--data", data.pathOf("other")});
    EXPECT_EQ(busyStatus, 1);
    EXPECT_NE(busy.find("tomely-shelf: cannot listen on " + taken), std::string::npos) << busy;
}

TEST(CommandLineTest, TheProgramServesUsersOfAFileAndOfItsInputLogsRequestsAndStopsCleanlyOnSigterm) {
    TemporaryDirectory data;
    const auto users = data.pathOf("users");
    ::tomely::test::writeFile(users, "# demo accounts\n\nada@example.com:ada:secret\r\nbob@example.com:bob-secret\n");
    client::ShelfProcess shelf(TOMELY_SHELF_EXECUTABLE,
                               {"--listen", "127.0.0.1:0", "--data", data.path(), "--user-file", users},
                               {{"carol@example.com", "carol-secret"}});
    // Refused first: the last request's line may still be on its way when the program is stopped.
    EXPECT_EQ(client::ShelfClient("127.0.0.1", shelf.port()).signIn("ada@example.com", "wrong").status, 403);
    for (const auto& [email, password] :
         std::vector<std::pair<std::string, std::string>>{{"ada@example.com", "ada:secret"},
                                                          {"bob@example.com", "bob-secret"},
                                                          {"carol@example.com", "carol-secret"}}) {
        SCOPED_TRACE(email);
        EXPECT_EQ(client::ShelfClient("127.0.0.1", shelf.port()).signIn(email, password).status, 200);
    }
    // Other local users can read a process's arguments.
    EXPECT_EQ(::tomely::test::readFile("/proc/" + std::to_string(shelf.pid()) + "/cmdline").find("secret"),
              std::string::npos);
    shelf.sendSignal(SIGTERM);
    EXPECT_EQ(shelf.wait(std::chrono::seconds(30)), 0);
    const auto output = shelf.output();
    EXPECT_NE(output.find("tomely-shelf: created account ada@example.com\n"), std::string::npos) << output;
    // One line for each request, with its author or its reason for refusing.
    EXPECT_TRUE(
        std::regex_search(output, std::regex(" POST /api/author/shelf/upload/auth/ 200 [^\n]* ada@example.com\n")))
        << output;
    EXPECT_TRUE(std::regex_search(
        output, std::regex(" POST /api/author/shelf/upload/auth/ 403 [^\n]* wrong e-mail address or password\n")));
    // The request's line may come after the stop notice: a request is logged once answered.
    EXPECT_NE(output.find("tomely-shelf: stopping on signal 15\n"), std::string::npos) << output;
    EXPECT_TRUE(output.ends_with("\ntomely-shelf: stopped\n")) << output;
}

}  // namespace
}  // namespace tomely::shelf::test
