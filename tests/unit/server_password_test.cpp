// A line server's password on the command line: kept out of the recorded command line and of
// every message, told once, and a URL libpq cannot read refused before anything starts.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/CommandLine.h"
#include "history/ConnectionPasswords.h"

namespace padsmith::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(ServerPassword, EveryFormOfPasswordIsHiddenAndNothingElse) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"postgresql://line:SECRET@db/padsmith", "postgresql://line:***@db/padsmith"},
        {"--push=postgres://line:SECRET@db:5432/padsmith?sslmode=require",
         "--push=postgres://line:***@db:5432/padsmith?sslmode=require"},
        // libpq reads up to the first '@'; a stray '@', '/' or '?' hides no part of it here.
        {"postgresql://line:SE@C/R?ET@db/padsmith", "postgresql://line:***@db/padsmith"},
        {"postgresql://line@db/padsmith?password=SECRET&sslmode=require",
         "postgresql://line@db/padsmith?password=***&sslmode=require"},
        {"postgresql://db/padsmith?sslpassword=SECRET", "postgresql://db/padsmith?sslpassword=***"},
        {"postgresql://db/padsmith?password=SE@CRET", "postgresql://db/padsmith?password=***"},
        {"postgresql://line:SECRET@db:5432/padsmith?password=SE@CRET", "postgresql://line:***"},
        {"host=db password=SECRET user=line", "host=db password=*** user=line"},
        {"host=db password = 'SE CR\\'ET' user=line", "host=db password = *** user=line"},
        {"--push=password=SE\\ CRET", "--push=password=***"},
        // No password: left as it is.
        {"postgresql://line@db/padsmith", "postgresql://line@db/padsmith"},
        {"postgresql://line:@db/padsmith", "postgresql://line:@db/padsmith"},
        {"postgresql:///padsmith?host=/tmp/pgd", "postgresql:///padsmith?host=/tmp/pgd"},
        {"host=db mypassword=x user=line", "host=db mypassword=x user=line"},
        {"/srv/fw,1.bin", "/srv/fw,1.bin"},
    };
    for (const auto& [given, shown] : cases) EXPECT_EQ(history::WithoutPasswords(given), shown) << given;
}

TEST(ServerPassword, TheCommandLineKeepsNoneAndAUrlLibpqCannotReadIsAUsageErrorThatRepeatsNone) {
    cli::CommandLine parsed;
    std::string error;
    ASSERT_TRUE(cli::ParseCommandLine({"--push=postgresql://line:SECRET@db/padsmith", "station", "fw.bin"}, parsed, error))
        << error;
    EXPECT_EQ(parsed.commandText, "padsmith '--push=postgresql://line:***@db/padsmith' station fw.bin");
    EXPECT_TRUE(parsed.history.pushUrlHoldsPassword);
    ASSERT_TRUE(cli::ParseCommandLine({"history", "push", "host=db password=SECRET"}, parsed, error)) << error;
    EXPECT_TRUE(parsed.history.pushUrlHoldsPassword);
    ASSERT_TRUE(cli::ParseCommandLine({"history", "push", "postgresql://line@db/padsmith"}, parsed, error)) << error;
    EXPECT_FALSE(parsed.history.pushUrlHoldsPassword);

    for (const char* url : {"postgresql://line:SECRET@[::1/padsmith", "postgresql://line:SECRET%zz@db/padsmith",
                                   "postgresql://line@db/padsmith?password=SECRET&sslmode", "host=db password='SECRET"}) {
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {std::string("--push=") + url, "station", "fw.bin"}, {"history", "push", url}}) {
            EXPECT_FALSE(cli::ParseCommandLine(args, parsed, error)) << url;
            EXPECT_THAT(error, HasSubstr("libpq cannot read the URL"));
            EXPECT_THAT(error, Not(HasSubstr("SECRET")));
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        }
    }
}

}  // namespace
}  // namespace padsmith::test
