#include "core/cli_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "core/unchanged_toolsets.h"
#include "support/enum_names.h"
#include "support/project_text.h"

namespace {

constexpr cli_version v2010{0}, v2013{2}, v2015{3}, v2017{4}, v2019{5}, v2022{6}, v2026{7};

struct told_edit {
    std::size_t at = 0;
    std::size_t length = 0;
    std::string text;
    change_kind kind = change_kind::replaced;
    std::string reported;
};

struct rules_run {
    std::vector<told_edit> edits;
    std::vector<std::string> reported;  // as printed: "+ " before an insertion
    std::string converted;              // the input with the edits made
    bool names_target = false;
};

struct collected {
    std::string_view input;
    rules_run* run;
};

void collect(void* context, const text_edit& e)
{
    auto& c = *static_cast<collected*>(context);
    // A replaced text is reported as it stands in the input.
    if (e.kind == change_kind::replaced) {
        EXPECT_GE(e.reported.data(), c.input.data());
        EXPECT_LE(e.reported.data() + e.reported.size(), c.input.data() + c.input.size());
        EXPECT_LE(e.reported.data(), c.input.data() + e.at);
        EXPECT_GE(e.reported.data() + e.reported.size(), c.input.data() + e.at + e.length);
    } else {
        EXPECT_EQ(e.length, 0u);
    }
    c.run->edits.push_back({e.at, e.length, std::string(e.text), e.kind, std::string(e.reported)});
    c.run->reported.push_back((e.kind == change_kind::inserted ? "+ " : "") + std::string(e.reported));
}

rules_run rules(std::string_view input, cli_version target, std::string_view sdk = {})
{
    rules_run run;
    collected c{input, &run};
    cli_edits result = find_cli_edits(input, {target, sdk}, collect, &c);
    EXPECT_EQ(result.count, run.edits.size());
    run.names_target = result.names_target;
    std::size_t copied = 0;
    for (const told_edit& e : run.edits) {
        EXPECT_GE(e.at, copied) << "edits in file order, never overlapping";
        EXPECT_LE(e.at + e.length, input.size());
        run.converted.append(input.substr(copied, e.at - copied)).append(e.text);
        copied = e.at + e.length;
    }
    run.converted.append(input.substr(copied));
    return run;
}

std::string label_of(cli_version v)
{
    return std::string(cli_version_table[v].label);
}

std::string with_tools_version(std::string_view value)
{
    return "DefaultTargets=\"Build\" ToolsVersion=\"" + std::string(value) + "\"";
}

}  // namespace

// The table itself.

// A row of one table is never taken for a row of the other, nor a bare
// number for either: only an explicit conversion makes one.
static_assert(!std::is_convertible_v<cli_version, vs_version> && !std::is_convertible_v<vs_version, cli_version>);
static_assert(!std::is_convertible_v<int, vs_version> && !std::is_convertible_v<int, cli_version>);

TEST(CliVersionTable, RowsHoldEachVersionsToolsetXpVariantAndToolsVersion)
{
    struct row {
        const char* label;
        const char* toolset;
        const char* xp;
        const char* tools_version;
        bool inserts;
        int projport_row;
    };
    const row expected[] = {
        {"2010", "v100", "", "4.0", true, 0},          {"2012", "v110", "v110_xp", "4.0", true, -1},
        {"2013", "v120", "v120_xp", "12.0", true, -1}, {"2015", "v140", "v140_xp", "14.0", true, 1},
        {"2017", "v141", "v141_xp", "15.0", true, 2},  {"2019", "v142", "", "15.0", false, 3},
        {"2022", "v143", "", "", false, -1},           {"2026", "v145", "", "", false, -1},
    };
    for (std::size_t i = 0; i < cli_version_count; ++i) {
        const cli_version_row& r = cli_version_table[i];
        SCOPED_TRACE(expected[i].label);
        EXPECT_EQ(r.label, expected[i].label);
        EXPECT_EQ(r.toolset, expected[i].toolset);
        EXPECT_EQ(r.xp_toolset, expected[i].xp);
        EXPECT_EQ(r.tools_version, expected[i].tools_version);
        EXPECT_EQ(r.inserts_tools_version, expected[i].inserts);
        EXPECT_EQ(r.projport_row, expected[i].projport_row);
        if (r.inserts_tools_version) {
            EXPECT_EQ(r.inserted_attribute, "ToolsVersion=\"" + std::string(r.tools_version) + "\"");
            EXPECT_EQ(r.inserted_text, " " + std::string(r.inserted_attribute));
        } else {
            EXPECT_TRUE(r.inserted_attribute.empty());
            EXPECT_TRUE(r.inserted_text.empty());
        }
        if (r.projport_row >= 0) {
            std::wstring wide = version_table[r.projport_row].label;
            EXPECT_EQ(std::string(wide.begin(), wide.end()), r.label);
            EXPECT_EQ(version_table[r.projport_row].toolset, toolset_element(r.toolset));
            EXPECT_EQ(inserts_tools_version(r.projport_row), r.inserts_tools_version);
        }
    }
}

TEST(CliVersionTable, OnlyTheExactLabelFindsItsRow)
{
    for (std::size_t i = 0; i < cli_version_count; ++i)
        EXPECT_EQ(find_cli_version(cli_version_table[i].label), static_cast<cli_version>(i));
    for (std::string_view label : {"2019abc", "201", "", "2011", " 2019", "2019 ", "v142", "2027"})
        EXPECT_EQ(find_cli_version(label), -1) << label;
}

TEST(ProjportVersionTable, InsertsForEveryTargetBut2019)
{
    EXPECT_TRUE(inserts_tools_version(vs_version(0)));
    EXPECT_TRUE(inserts_tools_version(vs_version(1)));
    EXPECT_TRUE(inserts_tools_version(vs_version(2)));
    EXPECT_FALSE(inserts_tools_version(vs_version(3)));
    EXPECT_FALSE(inserts_tools_version(vs_version(-1)));
    EXPECT_FALSE(inserts_tools_version(vs_version(4)));
}

// Toolset elements.

TEST(CliToolsets, EveryRowAsTargetRetargetsTheToolsetOfEveryOtherRow)
{
    for (cli_version target{}; target < cli_version_count; ++target) {
        for (cli_version other{}; other < cli_version_count; ++other) {
            SCOPED_TRACE(label_of(target) + " against " + label_of(other));
            std::string toolset(cli_version_table[other].toolset);
            std::string input = configuration_group(toolset_element(toolset)) + configuration_group("<x/>");
            rules_run run = rules(input, target);
            if (other == target) {
                EXPECT_TRUE(run.edits.empty());
                EXPECT_TRUE(run.names_target);
                EXPECT_EQ(run.converted, input);
                continue;
            }
            ASSERT_EQ(run.reported, (std::vector<std::string>{toolset_element(toolset)}));
            EXPECT_EQ(run.edits[0].at, input.find(toolset));
            EXPECT_EQ(run.edits[0].length, toolset.size());
            EXPECT_FALSE(run.names_target);
            EXPECT_EQ(run.converted, configuration_group(toolset_element(cli_version_table[target].toolset)) +
                                         configuration_group("<x/>"));
        }
    }
}

TEST(CliToolsets, XpVariantsBecomeTheTargetsXpVariantWhereItHasOne)
{
    for (cli_version target{}; target < cli_version_count; ++target) {
        std::string_view target_xp = cli_version_table[target].xp_toolset;
        for (cli_version other{}; other < cli_version_count; ++other) {
            std::string_view xp = cli_version_table[other].xp_toolset;
            if (xp.empty())
                continue;
            SCOPED_TRACE(label_of(target) + " against " + std::string(xp));
            std::string input = "<a>" + toolset_element(xp) + "</a>";
            rules_run run = rules(input, target);
            if (other == target) {
                EXPECT_TRUE(run.edits.empty());
                EXPECT_TRUE(run.names_target);
            } else if (target_xp.empty()) {
                EXPECT_TRUE(run.edits.empty());
                EXPECT_FALSE(run.names_target);
                EXPECT_EQ(run.converted, input);
            } else {
                EXPECT_EQ(run.reported, (std::vector<std::string>{toolset_element(xp)}));
                EXPECT_EQ(run.converted, "<a>" + toolset_element(target_xp) + "</a>");
                EXPECT_FALSE(run.names_target);
            }
        }
    }
}

TEST(CliToolsets, CaseAndBlanksAroundTheValueDoNotMatterAndAreReplacedWithIt)
{
    for (std::string value : {"V140", " v140 ", "\tv140\r\n", "v140\n", "V140_XP", " v140_Xp"}) {
        SCOPED_TRACE(value);
        bool xp = value.find('_') != std::string::npos;
        std::string input = toolset_element(value);
        rules_run run = rules(input, v2013);
        EXPECT_EQ(run.reported, (std::vector<std::string>{input}));
        EXPECT_EQ(run.converted, toolset_element(xp ? "v120_xp" : "v120"));
    }
}

TEST(CliToolsets, TheTargetsOwnToolsetInAnyCaseOrSpacingIsLeftAsItStands)
{
    for (std::string value : {"V142", " v142 ", "\r\nv142\t"}) {
        std::string input = toolset_element(value) + toolset_element("v100");
        rules_run run = rules(input, v2019);
        EXPECT_TRUE(run.names_target) << value;
        EXPECT_EQ(run.converted, toolset_element(value) + toolset_element("v142")) << value;
    }
    rules_run xp = rules(toolset_element(" V141_xp"), v2017);
    EXPECT_TRUE(xp.edits.empty());
    EXPECT_TRUE(xp.names_target);
}

TEST(CliToolsets, ValuesOutsideTheTableAreLeft)
{
    std::string input;
    for (std::string_view value : {"v90", "ClangCL", "WindowsKernelModeDriver10.0", "$(DefaultPlatformToolset)x",
                                   "v1400", "v140_xp_x", "v14 0", "", "v144", "llvm"})
        input += configuration_group(toolset_element(value));
    for (cli_version target{}; target < cli_version_count; ++target) {
        rules_run run = rules(input, target);
        EXPECT_TRUE(run.edits.empty()) << label_of(target);
        EXPECT_FALSE(run.names_target);
    }
}

TEST(CliToolsets, OnlyTheExactStartTagAndAValueWithoutMarkupMakeAnElement)
{
    std::string conditional = conditional_toolset_element("v140");
    std::string input = conditional + "<PlatformToolset >v140</PlatformToolset><PlatformToolset><!-- -->v140" +
                        toolset_element("v141") + "<platformtoolset>v140</platformtoolset>" +
                        "<PlatformToolset>v140</PlatformToolset >";
    rules_run run = rules(input, v2022);
    EXPECT_EQ(run.reported, (std::vector<std::string>{toolset_element("v141")}));
    // The conditional element is left for the listing of elements left unchanged.
    std::vector<std::string> listed;
    find_unchanged_toolsets(
        run.converted, "v143", "",
        [](void* context, const unchanged_toolset& e) {
            static_cast<std::vector<std::string>*>(context)->push_back(std::string(e.element));
        },
        &listed);
    EXPECT_EQ(listed, (std::vector<std::string>{conditional, "<PlatformToolset >v140</PlatformToolset>"}));
}

TEST(CliToolsets, AStartTagWithoutItsEndDoesNotHideTheNextElement)
{
    std::string input = "<PlatformToolset>v140 <PlatformToolset>v141 " + toolset_element("v100") +
                        "<PlatformToolset>v110";
    rules_run run = rules(input, v2015);
    EXPECT_EQ(run.reported, (std::vector<std::string>{toolset_element("v100")}));
    EXPECT_EQ(run.converted, "<PlatformToolset>v140 <PlatformToolset>v141 " + toolset_element("v140") +
                                 "<PlatformToolset>v110");
}

TEST(CliToolsets, ManyStartTagsWithoutEndsThenOneWholeElement)
{
    std::string input;
    for (int i = 0; i < 48000; ++i)
        input += "<PlatformToolset>v110";
    input += toolset_element("v110");
    rules_run run = rules(input, v2026);
    ASSERT_EQ(run.edits.size(), 1u);
    EXPECT_EQ(run.edits[0].at, input.size() - toolset_element("v110").size() + 17);
}

// ToolsVersion of the project element.

TEST(CliToolsVersion, EveryTargetWithAToolsVersionReplacesAnyOtherValue)
{
    for (cli_version target{}; target < cli_version_count; ++target) {
        std::string_view own = cli_version_table[target].tools_version;
        for (std::string_view value : {"4.0", "12.0", "14.0", "15.0", "3.5", "Current", ""}) {
            SCOPED_TRACE(label_of(target) + " from " + std::string(value));
            std::string input = project_text(with_tools_version(value), "");
            rules_run run = rules(input, target);
            if (own.empty() || value == own) {
                EXPECT_TRUE(run.edits.empty());
                EXPECT_EQ(run.names_target, !own.empty());
                continue;
            }
            std::string attribute = "ToolsVersion=\"" + std::string(value) + "\"";
            ASSERT_EQ(run.reported, (std::vector<std::string>{attribute}));
            EXPECT_EQ(run.edits[0].at, input.find(attribute) + 14);
            EXPECT_EQ(run.edits[0].length, value.size());
            EXPECT_EQ(run.converted, project_text(with_tools_version(own), ""));
            EXPECT_FALSE(run.names_target);
        }
    }
}

TEST(CliToolsVersion, The15Of2017And2019IsTheTargetsOwnForBoth)
{
    std::string input = project_text(with_tools_version("15.0"), "v141");
    rules_run to2017 = rules(input, v2017);
    EXPECT_TRUE(to2017.edits.empty());
    EXPECT_TRUE(to2017.names_target);
    rules_run to2019 = rules(input, v2019);
    EXPECT_EQ(to2019.reported, (std::vector<std::string>{toolset_element("v141")}));
    EXPECT_EQ(to2019.converted, project_text(with_tools_version("15.0"), "v142"));
    rules_run to2015 = rules(input, v2015);
    EXPECT_EQ(to2015.reported, (std::vector<std::string>{"ToolsVersion=\"15.0\"", toolset_element("v141")}));
}

TEST(CliToolsVersion, QuotesAndSpacingAroundTheValueAreKept)
{
    struct row {
        const char* attribute;
        const char* converted;
    };
    for (row r : {row{"ToolsVersion='4.0'", "ToolsVersion='14.0'"},
                  row{"ToolsVersion = \"4.0\"", "ToolsVersion = \"14.0\""},
                  row{"ToolsVersion\r\n=\t'4.0'", "ToolsVersion\r\n=\t'14.0'"},
                  row{"ToolsVersion=\"4.0'\"", "ToolsVersion=\"14.0\""}}) {
        std::string input = std::string("<Project ") + r.attribute + ">" + toolset_element("v140") + "</Project>";
        rules_run run = rules(input, v2015);
        EXPECT_EQ(run.reported, (std::vector<std::string>{r.attribute})) << r.attribute;
        EXPECT_EQ(run.converted, std::string("<Project ") + r.converted + ">" + toolset_element("v140") + "</Project>");
    }
}

TEST(CliToolsVersion, TheProjectElementStandsBehindDeclarationCommentsAndDoctype)
{
    std::string before =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<!-- <Project ToolsVersion=\"4.0\"> -->\r\n"
        "<?pi ToolsVersion=\"4.0\" ?>"
        "<!DOCTYPE Project [ <!ENTITY e \"<Project ToolsVersion='4.0'>\"> <Project ToolsVersion='4.0'> ]>\r\n";
    std::string input = before + "<Project\r\n  ToolsVersion=\"12.0\">" + "<Import Project=\"a\" ToolsVersion=\"4.0\"/>";
    rules_run run = rules(input, v2015);
    ASSERT_EQ(run.reported, (std::vector<std::string>{"ToolsVersion=\"12.0\""}));
    EXPECT_EQ(run.converted, before + "<Project\r\n  ToolsVersion=\"14.0\">" + "<Import Project=\"a\" ToolsVersion=\"4.0\"/>");
}

TEST(CliToolsVersion, OnlyTheProjectElementsOwnAttributeCounts)
{
    struct row {
        const char* input;
        bool project_element;  // the first start tag is the project element
    };
    for (row r : {row{"<Project Label='ToolsVersion=\"4.0\"' xmlns=\"x\"><Import ToolsVersion=\"4.0\"/>", true},
                  row{"<Project xmlns=\"x\"><!-- ToolsVersion=\"4.0\" --></Project>", true},
                  row{"<Project xToolsVersion=\"4.0\" ToolsVersionX=\"4.0\">", true},
                  row{"<Project ToolsVersion=4.0>", true},
                  row{"<Project \"ToolsVersion='4.0'\" xmlns=\"x\">", true},
                  row{"<ProjectExtensions ToolsVersion=\"4.0\">", false},
                  row{"<Import Project=\"a\"/><Project ToolsVersion=\"4.0\">", false},
                  row{"</x><Project ToolsVersion=\"4.0\">", false},
                  row{"<!-- <Project ToolsVersion=\"4.0\">", false},
                  row{"<project ToolsVersion=\"4.0\">", false}}) {
        SCOPED_TRACE(r.input);
        std::string input = r.input;
        for (cli_version target{}; target < cli_version_count; ++target) {
            rules_run run = rules(input, target);
            const cli_version_row& row = cli_version_table[target];
            EXPECT_FALSE(run.names_target);
            if (!r.project_element || !row.inserts_tools_version) {
                EXPECT_TRUE(run.edits.empty()) << label_of(target);
                continue;
            }
            ASSERT_EQ(run.edits.size(), 1u);
            EXPECT_EQ(run.edits[0].kind, change_kind::inserted);
            EXPECT_EQ(run.edits[0].at, 8u);
            EXPECT_EQ(run.converted, "<Project" + std::string(row.inserted_text) + input.substr(8));
        }
    }
}

TEST(CliToolsVersion, AProjectElementWithoutOneGetsItFrom2010To2017Only)
{
    for (std::string head : {"<Project>", "<Project\r\n  xmlns=\"x\">", "<Project/>", "<Project"}) {
        for (cli_version target{}; target < cli_version_count; ++target) {
            SCOPED_TRACE(head + " to " + label_of(target));
            rules_run run = rules(head, target);
            const cli_version_row& row = cli_version_table[target];
            if (target > v2017) {
                EXPECT_TRUE(run.edits.empty());
                continue;
            }
            std::string attribute = "ToolsVersion=\"" + std::string(row.tools_version) + "\"";
            EXPECT_EQ(run.reported, (std::vector<std::string>{"+ " + attribute}));
            EXPECT_EQ(run.edits[0].text, " " + attribute);
            EXPECT_EQ(run.converted, "<Project " + attribute + head.substr(8));
        }
    }
}

TEST(CliToolsVersion, EditsAreToldInFileOrderAroundTheProjectElement)
{
    std::string input = "<!-- " + toolset_element("v100") + " --><Project ToolsVersion=\"4.0\">" +
                        toolset_element("v141") + "</Project>";
    rules_run run = rules(input, v2019);
    EXPECT_EQ(run.reported,
              (std::vector<std::string>{toolset_element("v100"), "ToolsVersion=\"4.0\"", toolset_element("v141")}));
    EXPECT_EQ(run.converted, "<!-- " + toolset_element("v142") + " --><Project ToolsVersion=\"15.0\">" +
                                 toolset_element("v142") + "</Project>");

    // An element inside the replaced value goes with the value.
    std::string inside = "<Project ToolsVersion=\"" + toolset_element("v100") + "\">";
    rules_run replaced = rules(inside, v2015);
    EXPECT_EQ(replaced.converted, "<Project ToolsVersion=\"14.0\">");
}

// The Windows SDK version.

TEST(CliSdk, EveryAttributeLessElementWithAnotherValueGetsTheVersion)
{
    std::string input = project_head("") + "  " + sdk_element("8.1") + "\r\n  " + sdk_element(" 10.0 ") + "\r\n  " +
                        sdk_element("10.0.19041.0") + "\r\n  <WindowsTargetPlatformVersion Condition=\"x\">8.1" +
                        "</WindowsTargetPlatformVersion>" + std::string(project_tail);
    rules_run run = rules(input, v2022, "10.0");
    EXPECT_EQ(run.reported, (std::vector<std::string>{sdk_element("8.1"), sdk_element("10.0.19041.0")}));
    std::string expected = input;
    expected.replace(expected.find("10.0.19041.0"), 12, "10.0");
    expected.replace(expected.find(">8.1<"), 5, ">10.0<");
    EXPECT_EQ(run.converted, expected);
    EXPECT_FALSE(run.names_target);

    // Without --sdk the elements stay, and none is inserted where there is none.
    EXPECT_TRUE(rules(input, v2022).edits.empty());
    EXPECT_TRUE(rules(project_text("", "v143"), v2022, "10.0").edits.empty());
}

TEST(CliSdk, BlanksAroundTheOldValueGoWithIt)
{
    std::string input = sdk_element("\r\n  8.1\r\n") + toolset_element("v141");
    rules_run run = rules(input, v2026, "10.0.22621.0");
    EXPECT_EQ(run.reported, (std::vector<std::string>{sdk_element("\r\n  8.1\r\n"), toolset_element("v141")}));
    EXPECT_EQ(run.converted, sdk_element("10.0.22621.0") + toolset_element("v145"));
}

// Zero bytes.

TEST(CliZeroBytes, NothingBehindTheFirstZeroByteIsSearched)
{
    std::string tail = std::string(1, '\0') + toolset_element("v100") + sdk_element("8.1");
    std::string input = "<Project>" + toolset_element("v100") + tail;
    rules_run run = rules(input, v2015, "10.0");
    EXPECT_EQ(run.reported, (std::vector<std::string>{"+ ToolsVersion=\"14.0\"", toolset_element("v100")}));
    EXPECT_EQ(run.converted, "<Project ToolsVersion=\"14.0\">" + toolset_element("v140") + tail);

    std::string cut = std::string("<Project \0 ToolsVersion=\"4.0\">", 30);
    rules_run cut_run = rules(cut, v2015);
    ASSERT_EQ(cut_run.edits.size(), 1u);
    EXPECT_EQ(cut_run.edits[0].kind, change_kind::inserted);

    std::string element = "<PlatformToolset>v1" + std::string(1, '\0') + "00</PlatformToolset>";
    EXPECT_TRUE(rules(element, v2015).edits.empty());
    EXPECT_TRUE(rules(std::string(1, '\0') + "<Project>", v2010).edits.empty());
}

TEST(CliNamesTarget, OnlyAnAttributeLessElementOrTheProjectElementsValueNamesIt)
{
    EXPECT_TRUE(rules(toolset_element("v143"), v2022).names_target);
    EXPECT_FALSE(rules(conditional_toolset_element("v143"), v2022).names_target);
    EXPECT_FALSE(rules("<Project><Import ToolsVersion=\"14.0\"/>", v2015).names_target);
    EXPECT_TRUE(rules("<Project ToolsVersion=\"14.0\">", v2015).names_target);
    EXPECT_FALSE(rules("<Project ToolsVersion=\"14.0\">", v2022).names_target);
    EXPECT_FALSE(rules(sdk_element("10.0"), v2022, "10.0").names_target);
}
