// projport-cli's rules that insert elements: toolsets for configurations
// without one, rungs of $(VisualStudioVersion) ladders and the Windows SDK;
// and the SDK's default-setter, property references and minimum version.
// Cases are shaped on public projects (zlib's contrib/vstudio, SDL's hidapi).

#include "core/cli_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/unchanged_toolsets.h"
#include "core/toolset_ladders.h"

namespace {

constexpr cli_version v2010{0}, v2015{3}, v2017{4}, v2022{6}, v2026{7};

struct run_result {
    std::vector<std::string> reported;  // "+ " before an insertion
    std::string converted;
    cli_edits result;
};

struct builder {
    std::string_view input;
    run_result* run;
    std::size_t copied = 0;
};

void build(void* context, const text_edit& e)
{
    auto& b = *static_cast<builder*>(context);
    EXPECT_GE(e.at, b.copied);
    b.run->converted.append(b.input.substr(b.copied, e.at - b.copied));
    std::string reported;
    if (e.pieces.count == 0) {
        b.run->converted.append(e.text);
        reported = e.reported;
    } else {
        for (std::size_t i = 0; i < e.pieces.count; ++i) {
            b.run->converted.append(e.pieces.piece[i]);
            if (i >= e.reported_from && i < e.reported_to)
                reported.append(e.pieces.piece[i]);
        }
    }
    b.copied = e.at + e.length;
    b.run->reported.push_back((e.kind == change_kind::inserted ? "+ " : "") + reported);
}

run_result rules(std::string_view input, cli_version target, std::string_view sdk = {}, cli_imported imported = {})
{
    run_result run;
    builder b{input, &run};
    run.result = find_cli_edits(input, {target, sdk, imported}, build, &b);
    run.converted.append(input.substr(b.copied));
    return run;
}

// The listing of elements left unchanged in `text` for `target`.
std::vector<std::string> leftovers(std::string_view text, cli_version target)
{
    std::vector<std::string> listed;
    const cli_version_row& row = cli_version_table[target];
    find_unchanged_toolsets(
        text, row.toolset, row.xp_toolset,
        [](void* context, const unchanged_toolset& e) {
            static_cast<std::vector<std::string>*>(context)->push_back(std::string(e.element));
        },
        &listed, ladder_number(target));
    return listed;
}

std::string group(std::string_view attributes, std::string_view children, std::string_view eol = "\r\n")
{
    std::string text = "  <PropertyGroup" + std::string(attributes) + ">" + std::string(eol);
    text += children;
    return text + "  </PropertyGroup>" + std::string(eol);
}

std::string configuration(std::string_view platform, std::string_view children, std::string_view eol = "\r\n")
{
    return group(" Condition=\"'$(Configuration)|$(Platform)'=='Release|" + std::string(platform) +
                     "'\" Label=\"Configuration\"",
                 children, eol);
}

std::string child(std::string_view element, std::string_view eol = "\r\n")
{
    return "    " + std::string(element) + std::string(eol);
}

std::string toolset(std::string_view value)
{
    return "<PlatformToolset>" + std::string(value) + "</PlatformToolset>";
}

std::string rung(std::string_view condition, std::string_view value)
{
    return "<PlatformToolset Condition=\"" + std::string(condition) + "\">" + std::string(value) + "</PlatformToolset>";
}

constexpr std::string_view head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Project DefaultTargets=\"Build\" "
                                  "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n";
constexpr std::string_view tail = "</Project>\r\n";
constexpr std::string_view default_props = "  <Import Project=\"$(VCTargetsPath)\\Microsoft.Cpp.Default.props\" />\r\n";
const std::string globals = group(" Label=\"Globals\"", child("<ProjectGuid>{8FD826F8-3739-44E6-8CC8-997122E53B8D}</ProjectGuid>"));

const std::string type = child("<ConfigurationType>DynamicLibrary</ConfigurationType>");

}  // namespace

// Configurations without a toolset.

TEST(CliConfigurations, EachConditionalConfigurationGroupWithoutAToolsetGetsOne)
{
    struct row {
        const char* name;
        std::string input;
        std::string expected;
        std::size_t insertions;
    };
    const row rows[] = {
        // zlib's vc10 projects: no toolset at all.
        {"vc10", std::string(head) + configuration("Win32", type) + configuration("x64", type) + std::string(tail),
         std::string(head) + configuration("Win32", type + child(toolset("v145"))) +
             configuration("x64", type + child(toolset("v145"))) + std::string(tail),
         2},
        // zlib's vc11 projects: the Itanium groups lack one.
        {"vc11", std::string(head) + configuration("Win32", type + child(toolset("v110"))) +
                     configuration("Itanium", type) + std::string(tail),
         std::string(head) + configuration("Win32", type + child(toolset("v145"))) +
             configuration("Itanium", type + child(toolset("v145"))) + std::string(tail),
         1},
        // A group with no children: the group's indentation and two spaces.
        {"empty group", std::string(head) + configuration("Win32", "") + std::string(tail),
         std::string(head) + configuration("Win32", child(toolset("v145"))) + std::string(tail), 1},
        // LF line ends and tabs, kept.
        {"LF and tabs", std::string(head) + configuration("x64", "\t\t<A/>\n", "\n"),
         std::string(head) + configuration("x64", "\t\t<A/>\n\t\t" + toolset("v145") + "\n", "\n"), 1},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        run_result run = rules(r.input, v2026);
        EXPECT_EQ(run.converted, r.expected);
        std::size_t inserted = 0;
        for (const std::string& line : run.reported)
            inserted += line == "+ " + toolset("v145");
        EXPECT_EQ(inserted, r.insertions);
        EXPECT_EQ(rules(run.converted, v2026).converted, run.converted) << "a second run changes nothing";
        EXPECT_TRUE(rules(run.converted, v2026).result.names_target);
    }
}

TEST(CliConfigurations, AToolsetAnywhereElseMeansNoneIsInserted)
{
    const std::string without = configuration("Itanium", type);
    for (std::string elsewhere : {group(" Label=\"Configuration\"", child(toolset("v110"))),  // no Condition
                                  group(" Condition=\"x\"", child(toolset("v110"))),         // no Label
                                  group("", child(toolset("$(MSBUILD_PLATFORM_TOOLSET)"))),
                                  child(toolset("v110"))}) {
        SCOPED_TRACE(elsewhere);
        std::string input = std::string(head) + without + elsewhere + std::string(tail);
        run_result run = rules(input, v2026);
        for (const std::string& line : run.reported)
            EXPECT_NE(line.substr(0, 2), "+ ");
    }
    // A sheet that sets the toolset of a project without one: its groups get
    // none. A project with toolsets of its own gets them whatever its sheets say.
    std::string sheet_set = std::string(head) + without + std::string(tail);
    cli_imported imported;
    imported.toolset = true;
    EXPECT_EQ(rules(sheet_set, v2026, {}, imported).converted, sheet_set);
    std::string own = std::string(head) + configuration("Win32", type + child(toolset("v110"))) + without +
                      std::string(tail);
    EXPECT_EQ(rules(own, v2026, {}, imported).converted, rules(own, v2026).converted);
    EXPECT_NE(rules(own, v2026, {}, imported).converted.find("Itanium'\" Label=\"Configuration\">\r\n" + type +
                                                            child(toolset("v145"))),
              std::string::npos);
}

// Ladders.

TEST(CliLadders, ARungForTheTargetGoesBehindTheLastInItsForm)
{
    struct row {
        const char* name;
        std::string last;      // the last rung
        cli_version target;
        std::string inserted;  // empty: none
    };
    const row rows[] = {
        {"hidapi", rung("'$(VisualStudioVersion)'=='17'", "v143"), v2026,
         rung("'$(VisualStudioVersion)'=='18'", "v145")},
        {"dotted", rung("'$(VisualStudioVersion)' == '16.0'", "v142"), v2026,
         rung("'$(VisualStudioVersion)' == '18.0'", "v145")},
        {"to 2022", rung("'$(VisualStudioVersion)'=='16'", "v142"), v2022,
         rung("'$(VisualStudioVersion)'=='17'", "v143")},
        {"17.0 is 17", rung("'$(VisualStudioVersion)'=='17.0'", "v143"), v2022, ""},
        {"2010 sets no number", rung("'$(VisualStudioVersion)'=='17'", "v143"), v2010, ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string rungs = child(rung("'$(VisualStudioVersion)'=='11'", "v110")) + child(r.last);
        std::string input = std::string(head) + configuration("Win32", type + rungs) + std::string(tail);
        run_result run = rules(input, r.target);
        if (r.inserted.empty()) {
            for (const std::string& line : run.reported)
                EXPECT_NE(line.substr(0, 18), "+ <PlatformToolset");
            continue;
        }
        EXPECT_EQ(run.reported, (std::vector<std::string>{"+ " + r.inserted}));
        EXPECT_EQ(run.converted,
                  std::string(head) + configuration("Win32", type + rungs + child(r.inserted)) + std::string(tail));
        run_result again = rules(run.converted, r.target);
        EXPECT_EQ(again.converted, run.converted);
        EXPECT_TRUE(again.result.names_target);
        // Once the ladder has the target's rung its rungs are not listed.
        EXPECT_FALSE(leftovers(input, r.target).empty());
        EXPECT_TRUE(leftovers(run.converted, r.target).empty());
    }
}

TEST(CliLadders, NoLadderWhereAGroupHasAnAttributeLessToolsetOrARungTestsMore)
{
    std::string exists = rung("'$(VisualStudioVersion)'=='17' and exists('x')", "v143");
    std::string with_default = child(toolset("$(DefaultPlatformToolset)")) +
                               child(rung("'$(VisualStudioVersion)'=='17'", "v143"));
    std::string input = std::string(head) + configuration("Win32", with_default) + group("", child(exists)) +
                        std::string(tail);
    run_result run = rules(input, v2026);
    EXPECT_EQ(run.converted, input);
    EXPECT_TRUE(run.result.names_target) << "$(DefaultPlatformToolset) names the target";
    // The exists rung is still listed; so is the rung beside the default.
    EXPECT_EQ(leftovers(input, v2026), (std::vector<std::string>{rung("'$(VisualStudioVersion)'=='17'", "v143"), exists}));
}

// The Windows SDK.

TEST(CliSdkInsertion, GoesIntoTheLastGlobalsGroupBeforeTheDefaultProps)
{
    std::string second = group(" Label=\"Globals\"", child("<Keyword>Win32Proj</Keyword>"));
    std::string body = configuration("Win32", child(toolset("v141")));
    std::string input = std::string(head) + globals + second + std::string(default_props) + body + std::string(tail);
    run_result run = rules(input, v2026, "10.0");
    std::string sdk = "<WindowsTargetPlatformVersion>10.0</WindowsTargetPlatformVersion>";
    EXPECT_EQ(run.reported, (std::vector<std::string>{"+ " + sdk, toolset("v141")}));
    EXPECT_EQ(run.converted, std::string(head) + globals +
                                 group(" Label=\"Globals\"", child("<Keyword>Win32Proj</Keyword>") + child(sdk)) +
                                 std::string(default_props) + configuration("Win32", child(toolset("v145"))) +
                                 std::string(tail));
    EXPECT_EQ(rules(run.converted, v2026, "10.0").converted, run.converted);

    // Not for 2010 to 2013, not without --sdk, not for a driver or Clang
    // toolset, not where the SDK comes from an imported file.
    EXPECT_EQ(rules(input, v2010, "10.0").reported.size(), 2u);  // ToolsVersion and the toolset
    EXPECT_EQ(rules(input, v2026).reported.size(), 1u);
    std::string driver = std::string(head) + globals + std::string(default_props) +
                         configuration("x64", child(toolset("WindowsKernelModeDriver10.0"))) + std::string(tail);
    EXPECT_EQ(rules(driver, v2026, "10.0").converted, driver);
    cli_imported imported;
    imported.sdk = true;
    run_result from_file = rules(input, v2026, "10.0", imported);
    EXPECT_EQ(from_file.reported, (std::vector<std::string>{toolset("v141")}));
    EXPECT_TRUE(from_file.result.sdk_imported);
    // From 2015.
    EXPECT_TRUE(rules(input, v2015, "10.0").result.sdk_insertion);
    EXPECT_TRUE(rules(input, v2017, "10.0").result.sdk_insertion);
}

TEST(CliSdk, DefaultSetterRewrittenPropertyReferencesAndOtherConditionsLeft)
{
    std::string setter = "<WindowsTargetPlatformVersion Condition=\" '$(WindowsTargetPlatformVersion)' == '' \">"
                         "10.0.17763.0</WindowsTargetPlatformVersion>";
    std::string latest = "<WindowsTargetPlatformVersion>$(LatestTargetPlatformVersion)</WindowsTargetPlatformVersion>";
    std::string other = "<WindowsTargetPlatformVersion Condition=\"'$(Platform)'=='ARM'\">8.1</WindowsTargetPlatformVersion>";
    std::string input = std::string(head) + group(" Label=\"Globals\"", child(setter) + child(latest) + child(other)) +
                        std::string(tail);
    run_result run = rules(input, v2022, "10.0.22621.0");
    EXPECT_EQ(run.reported, (std::vector<std::string>{setter}));
    std::string expected = input;
    expected.replace(expected.find("10.0.17763.0"), 12, "10.0.22621.0");
    EXPECT_EQ(run.converted, expected);
}

TEST(CliSdk, AMinimumAboveTheVersionKeepsTheSdk)
{
    std::string input = std::string(head) +
                        group(" Label=\"Globals\"", child("<WindowsTargetPlatformVersion>10.0.22621.0</WindowsTargetPlatformVersion>") +
                                                        child("<WindowsTargetPlatformMinVersion>10.0.22000.0</WindowsTargetPlatformMinVersion>")) +
                        std::string(tail);
    run_result kept = rules(input, v2022, "10.0.19041.0");
    EXPECT_EQ(kept.converted, input);
    EXPECT_EQ(kept.result.sdk_minimum, "10.0.22000.0");
    run_result above = rules(input, v2022, "10.0.26100.0");
    EXPECT_EQ(above.reported.size(), 1u);
    EXPECT_TRUE(above.result.sdk_minimum.empty());
    EXPECT_EQ(rules(input, v2022, "10.0").reported.size(), 1u) << "10.0 is not a full version";
}
