#include "cli/cli_command_line.h"

#include <gtest/gtest.h>

namespace {

cli_request parse(std::vector<std::string> arguments)
{
    return parse_cli_arguments(arguments);
}

}  // namespace

TEST(CliCommandLine, TheVersionIsOneOfTheFourLabelsExactly)
{
    EXPECT_EQ(parse({"2010", "a.vcxproj"}).target, 0);
    EXPECT_EQ(parse({"2015", "a.vcxproj"}).target, 1);
    EXPECT_EQ(parse({"2017", "a.vcxproj"}).target, 2);
    cli_request r = parse({"2019", "a.vcxproj", "b.sln"});
    EXPECT_EQ(r.action, cli_action::convert);
    EXPECT_EQ(r.target, 3);
    EXPECT_EQ(r.paths, (std::vector<std::string>{"a.vcxproj", "b.sln"}));
    for (const char* wrong : {"2019abc", "201", "2013", "", "v142", "２０１９"})
        EXPECT_EQ(parse({wrong, "a.vcxproj"}).action, cli_action::usage_error) << wrong;
}

TEST(CliCommandLine, CheckMayStandAnywhereAndDashDashEndsTheOptions)
{
    EXPECT_TRUE(parse({"--check", "2019", "a"}).check);
    EXPECT_TRUE(parse({"2019", "a", "--check"}).check);
    cli_request r = parse({"2019", "--", "--check", "-"});
    EXPECT_FALSE(r.check);
    EXPECT_EQ(r.paths, (std::vector<std::string>{"--check", "-"}));
    EXPECT_EQ(parse({"2019", "-"}).paths, (std::vector<std::string>{"-"}));
}

TEST(CliCommandLine, MissingPiecesAndUnknownOptionsAreUsageErrors)
{
    EXPECT_EQ(parse({}).action, cli_action::usage_error);
    EXPECT_EQ(parse({"2019"}).action, cli_action::usage_error);
    EXPECT_EQ(parse({"--check", "2019"}).action, cli_action::usage_error);
    cli_request r = parse({"2019", "-s", "a.vcxproj"});
    EXPECT_EQ(r.action, cli_action::usage_error);
    EXPECT_NE(r.problem.find("-s"), std::string::npos);
}

TEST(CliCommandLine, HelpAndVersionWinOverEverythingElse)
{
    EXPECT_EQ(parse({"--help"}).action, cli_action::show_help);
    EXPECT_EQ(parse({"bad", "--unknown", "--help"}).action, cli_action::show_help);
    EXPECT_EQ(parse({"2019", "a", "--help"}).action, cli_action::show_help);
    EXPECT_EQ(parse({"--version"}).action, cli_action::show_version);
    EXPECT_NE(cli_usage_text().find("projport-cli <2010|2015|2017|2019> [--check] PATH..."), std::string_view::npos);
}
