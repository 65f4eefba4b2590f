#include "cli/cli_command_line.h"

#include <gtest/gtest.h>

#include "support/enum_names.h"

namespace {

cli_request parse(std::vector<std::string> arguments)
{
    return parse_cli_arguments(arguments);
}

}  // namespace

TEST(CliCommandLine, TheVersionIsOneOfTheEightLabelsExactly)
{
    const char* labels[] = {"2010", "2012", "2013", "2015", "2017", "2019", "2022", "2026"};
    for (cli_version row{}; row < 8; ++row) {
        cli_request r = parse({labels[row], "a.vcxproj", "b.sln"});
        EXPECT_EQ(r.action, cli_action::convert) << labels[row];
        EXPECT_EQ(r.target, row);
        EXPECT_EQ(cli_version_table[r.target].label, labels[row]);
        EXPECT_EQ(r.paths, (std::vector<std::string>{"a.vcxproj", "b.sln"}));
        EXPECT_FALSE(r.as_projport);
        EXPECT_TRUE(r.sdk.empty());
    }
    for (const char* wrong : {"2019abc", "201", "2011", "2024", "", "v142", "v143", "\xef\xbc\x92\xef\xbc\x90\xef\xbc\x92\xef\xbc\x92"}) {
        cli_request r = parse({wrong, "a.vcxproj"});
        EXPECT_EQ(r.action, cli_action::usage_error) << wrong;
        EXPECT_NE(r.problem.find("2010, 2012, 2013, 2015, 2017, 2019, 2022 or 2026"), std::string::npos) << r.problem;
    }
}

TEST(CliCommandLine, OptionsMayStandAnywhereAndDashDashEndsThem)
{
    EXPECT_TRUE(parse({"--check", "2019", "a"}).check);
    EXPECT_TRUE(parse({"2019", "a", "--check"}).check);
    cli_request between = parse({"2022", "a", "--sdk", "10.0", "b", "--annotate=github", "c"});
    EXPECT_EQ(between.action, cli_action::convert);
    EXPECT_EQ(between.sdk, "10.0");
    EXPECT_EQ(between.annotate, annotation_format::github);
    EXPECT_EQ(parse({"2022", "--annotate=azure", "a"}).annotate, annotation_format::azure);
    EXPECT_EQ(parse({"2022", "a"}).annotate, annotation_format::none);
    EXPECT_EQ(between.paths, (std::vector<std::string>{"a", "b", "c"}));
    cli_request r = parse({"2019", "--", "--check", "-", "--sdk", "--"});
    EXPECT_EQ(r.action, cli_action::convert);
    EXPECT_FALSE(r.check);
    EXPECT_EQ(r.paths, (std::vector<std::string>{"--check", "-", "--sdk", "--"}));
    EXPECT_EQ(parse({"2019", "-"}).paths, (std::vector<std::string>{"-"}));
    // The version itself may come after "--".
    EXPECT_EQ(parse({"--", "2026", "a"}).target, 7);
}

TEST(CliCommandLine, SdkTakesTheNextArgumentOrItsValueAfterAnEqualsSign)
{
    struct accepted {
        std::vector<std::string> arguments;
        std::string sdk;
    };
    const accepted table[] = {
        {{"2022", "--sdk", "10.0", "a"}, "10.0"},
        {{"2022", "--sdk=10.0", "a"}, "10.0"},
        {{"--sdk", "8.1", "2015", "a"}, "8.1"},
        {{"2026", "a", "--sdk=10.0.22621.0"}, "10.0.22621.0"},
        {{"2026", "a", "--sdk", "10.0.1.2"}, "10.0.1.2"},
        {{"2013", "--check", "--sdk", "10.0.99999999999.0", "a"}, "10.0.99999999999.0"},
    };
    for (const accepted& row : table) {
        cli_request r = parse(row.arguments);
        EXPECT_EQ(r.action, cli_action::convert) << row.arguments[1] << " " << r.problem;
        EXPECT_EQ(r.sdk, row.sdk);
        EXPECT_EQ(r.paths, (std::vector<std::string>{"a"}));
    }
}

TEST(CliCommandLine, SdkVersionsAreEightOneTenOrTenWithTwoNumbers)
{
    for (const char* good : {"8.1", "10.0", "10.0.0.0", "10.0.19041.0", "10.0.22621.755"})
        EXPECT_TRUE(is_sdk_version(good)) << good;
    for (const char* bad : {"", "8", "8.0", "8.1.0", "10", "10.1", "10.0.", "10.0.1", "10.0.1.", "10.0..1", "10.0.1.2.3",
                            "10.0.a.0", "10.0.1.0 ", " 10.0", "10.0.-1.0", "10.0.+1.0", "v10.0", "10,0", "latest",
                            "$(LatestTargetPlatformVersion)"})
        EXPECT_FALSE(is_sdk_version(bad)) << bad;
}

// Each is refused with exit code 2, its problem naming what was wrong.
TEST(CliCommandLine, UsageErrorsOfTheOptions)
{
    struct refused {
        std::vector<std::string> arguments;
        const char* named;  // in the problem
    };
    const refused table[] = {
        {{}, "no version"},
        {{"2019"}, "no PATH"},
        {{"--check", "2019"}, "no PATH"},
        {{"2019", "-s", "a"}, "-s"},
        {{"2019", "--fast", "a"}, "--fast"},
        {{"2019", "--check", "a", "--check"}, "--check given twice"},
        {{"2019", "--as-projport", "--as-projport", "a"}, "--as-projport given twice"},
        {{"2022", "--sdk", "10.0", "--sdk=10.0", "a"}, "--sdk given twice"},
        {{"2022", "--annotate=github", "a", "--annotate=github"}, "--annotate given twice"},
        {{"2022", "--annotate=github", "a", "--annotate=azure"}, "--annotate given twice"},
        {{"2022", "--annotate=azure", "--annotate=azure", "a"}, "--annotate given twice"},
        {{"2022", "a", "--sdk"}, "--sdk needs a VERSION"},
        {{"2022", "--sdk", "10", "a"}, "SDK version 10 "},
        {{"2022", "--sdk=", "a"}, "SDK version  ("},
        {{"2022", "--sdk", "--check", "a"}, "SDK version --check"},
        {{"2022", "--sdk=10.0.1", "a"}, "SDK version 10.0.1"},
        {{"2022", "--annotate", "a"}, "--annotate"},
        {{"2022", "--annotate=gitlab", "a"}, "--annotate=gitlab"},
        {{"2022", "--annotate=GitHub", "a"}, "--annotate=GitHub"},
        {{"2022", "--annotate=Azure", "a"}, "--annotate=Azure"},
        {{"2022", "--annotate=", "a"}, "use --annotate=github or --annotate=azure"},
        {{"2022", "--annotate=none", "a"}, "--annotate=none"},
        {{"2022", "--sdk10.0", "a"}, "--sdk10.0"},
        {{"2012", "--as-projport", "a"}, "not 2012"},
        {{"2013", "--as-projport", "a"}, "not 2013"},
        {{"--as-projport", "2022", "a"}, "not 2022"},
        {{"2026", "a", "--as-projport"}, "not 2026"},
        {{"2019", "--as-projport", "--sdk", "10.0", "a"}, "--as-projport does not take --sdk"},
        {{"--sdk=8.1", "2015", "--as-projport", "a"}, "--as-projport does not take --sdk"},
        {{"2022", "--jobs", "0", "a"}, "from 1 to 256, not 0"},
        {{"2022", "-j", "00", "a"}, "not 00"},
        {{"2022", "--jobs=257", "a"}, "not 257"},
        {{"2022", "--jobs", "4294967297", "a"}, "not 4294967297"},
        {{"2022", "--jobs", "-1", "a"}, "not -1"},
        {{"2022", "--jobs", "+2", "a"}, "not +2"},
        {{"2022", "--jobs", " 2", "a"}, "not  2"},
        {{"2022", "--jobs", "2x", "a"}, "not 2x"},
        {{"2022", "--jobs", "a"}, "not a"},
        {{"2022", "--jobs=", "a"}, "from 1 to 256, not "},
        {{"2022", "a", "--jobs"}, "--jobs needs a number"},
        {{"2022", "-j", "2", "--jobs=2", "a"}, "--jobs given twice"},
        {{"2022", "-j2", "a"}, "unknown option -j2"},
        {{"2022", "--jobs2", "a"}, "unknown option --jobs2"},
    };
    for (const refused& row : table) {
        cli_request r = parse(row.arguments);
        std::string line;
        for (const std::string& a : row.arguments)
            line += a + " ";
        EXPECT_EQ(r.action, cli_action::usage_error) << line;
        EXPECT_NE(r.problem.find(row.named), std::string::npos) << line << ": " << r.problem;
    }
}

TEST(CliCommandLine, JobsTakesANumberFrom1To256InEitherForm)
{
    struct accepted {
        std::vector<std::string> arguments;
        unsigned jobs;
    };
    const accepted table[] = {
        {{"2022", "a"}, 0},  // the default, decided by the run
        {{"2022", "--jobs", "1", "a"}, 1},
        {{"2022", "-j", "8", "a"}, 8},
        {{"2022", "a", "--jobs=256"}, 256},
        {{"2022", "--jobs=007", "a"}, 7},
        {{"--jobs", "3", "2022", "a"}, 3},
    };
    for (const accepted& row : table) {
        cli_request r = parse(row.arguments);
        EXPECT_EQ(r.action, cli_action::convert) << r.problem;
        EXPECT_EQ(r.jobs, row.jobs);
        EXPECT_EQ(r.paths, (std::vector<std::string>{"a"}));
    }
}

TEST(CliCommandLine, AsProjportTakesTheFourVersionsOfProjportAndTheirRows)
{
    const char* labels[] = {"2010", "2015", "2017", "2019"};
    for (vs_version row{}; row < 4; ++row) {
        cli_request r = parse({"--as-projport", labels[row], "--check", "a"});
        EXPECT_EQ(r.action, cli_action::convert) << labels[row] << " " << r.problem;
        EXPECT_TRUE(r.as_projport);
        EXPECT_TRUE(r.check);
        EXPECT_EQ(r.projport_target, row);
        EXPECT_EQ(cli_version_table[r.target].label, labels[row]);
    }
    EXPECT_EQ(parse({"2019", "a"}).projport_target, -1) << "without --as-projport";
}

TEST(CliCommandLine, HelpAndVersionWinOverEverythingElse)
{
    EXPECT_EQ(parse({"--help"}).action, cli_action::show_help);
    EXPECT_EQ(parse({"-h"}).action, cli_action::show_help);
    EXPECT_EQ(parse({"bad", "--unknown", "--help"}).action, cli_action::show_help);
    EXPECT_EQ(parse({"2019", "a", "--help"}).action, cli_action::show_help);
    EXPECT_EQ(parse({"2012", "--as-projport", "--sdk", "x", "-h"}).action, cli_action::show_help);
    EXPECT_EQ(parse({"--version"}).action, cli_action::show_version);
    EXPECT_EQ(parse({"2019", "--", "--help"}).action, cli_action::convert);
}

TEST(CliCommandLine, TheHelpShowsEveryRowOfTheTableAndEveryOption)
{
    std::string_view help = cli_usage_text();
    EXPECT_NE(help.find("projport-cli <2010|2012|2013|2015|2017|2019|2022|2026> [--check] [--sdk VERSION]"),
              std::string_view::npos);
    const char* rows[] = {
        "  2010     v100     -           4.0, inserted when absent\n",
        "  2012     v110     v110_xp     4.0, inserted when absent\n",
        "  2013     v120     v120_xp     12.0, inserted when absent\n",
        "  2015     v140     v140_xp     14.0, inserted when absent\n",
        "  2017     v141     v141_xp     15.0, inserted when absent\n",
        "  2019     v142     -           15.0\n",
        "  2022     v143     -           -\n",
        "  2026     v145     -           -\n",
    };
    for (const char* row : rows)
        EXPECT_NE(help.find(row), std::string_view::npos) << row;
    for (const char* option : {"\n  --check ", "\n  --sdk VERSION ", "\n  --annotate=github ", "\n  --annotate=azure ",
                               "\n  --as-projport ",
                               "\n  --help ", "\n  --version ", "\n  -- "})
        EXPECT_NE(help.find(option), std::string_view::npos) << option;
    EXPECT_EQ(help.back(), '\n');
}
