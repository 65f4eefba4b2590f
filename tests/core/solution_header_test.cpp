#include "core/solution_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr cli_version v2010{0}, v2012{1}, v2013{2}, v2015{3}, v2017{4}, v2019{5}, v2022{6}, v2026{7};

constexpr std::string_view bom = "\xEF\xBB\xBF";
constexpr std::string_view format_12 = "Microsoft Visual Studio Solution File, Format Version 12.00";
constexpr std::string_view format_11 = "Microsoft Visual Studio Solution File, Format Version 11.00";
constexpr std::string_view minimum = "MinimumVisualStudioVersion = 10.0.40219.1";

// What follows the header in every case: a project and the Global section,
// which no retarget touches.
const std::string body = "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"zlibvc\", \"zlibvc.vcxproj\", "
                         "\"{8FD826F8-3739-44E6-8CC8-997122E53B8D}\"\r\nEndProject\r\n"
                         "Global\r\n\tGlobalSection(SolutionConfigurationPlatforms) = preSolution\r\n"
                         "\t\tDebug|Win32 = Debug|Win32\r\n\tEndGlobalSection\r\nEndGlobal\r\n";

struct header_run {
    solution_header result;
    std::vector<std::string> reported;  // as printed: "+ " before an insertion
    std::string converted;
};

struct collected {
    std::string_view input;
    std::vector<solution_edit> edits;
};

void collect(void* context, const solution_edit& e)
{
    auto& c = *static_cast<collected*>(context);
    if (e.kind == change_kind::replaced) {
        // The line as it stood, around what it loses.
        EXPECT_GE(e.reported.data(), c.input.data());
        EXPECT_LE(e.reported.data(), c.input.data() + e.at);
        EXPECT_GE(e.reported.data() + e.reported.size(), c.input.data() + e.at + e.length);
    } else {
        EXPECT_EQ(e.length, 0u);
    }
    c.edits.push_back(e);
}

header_run retarget(std::string_view input, cli_version target)
{
    header_run run;
    collected c{input, {}};
    run.result = find_solution_header_edits(input, target, collect, &c);
    EXPECT_EQ(run.result.count, c.edits.size());
    std::size_t copied = 0;
    for (const solution_edit& e : c.edits) {
        EXPECT_GE(e.at, copied) << "edits in file order, never overlapping";
        EXPECT_LE(e.at + e.length, input.size());
        run.converted.append(input.substr(copied, e.at - copied)).append(e.text);
        copied = e.at + e.length;
        run.reported.push_back((e.kind == change_kind::inserted ? "+ " : "") + std::string(e.reported));
    }
    run.converted.append(input.substr(copied));
    return run;
}

// `lines` joined, each ended by `end`.
std::string lines_of(const std::vector<std::string_view>& lines, std::string_view end = "\r\n")
{
    std::string text;
    for (std::string_view l : lines)
        text.append(l).append(end);
    return text;
}

// A header as Visual Studio writes it from 2013 on: the byte order mark, a
// blank first line, the four lines, CR LF.
std::string written_by(std::string_view comment, std::string_view version)
{
    return std::string(bom) + "\r\n" + lines_of({format_12, comment, version, minimum});
}

using reported_lines = std::vector<std::string>;

}  // namespace

// Each label's header, from a solution Visual Studio 2019 saved.

TEST(SolutionHeaderTargets, EveryLabelGetsTheHeaderItsVisualStudioWrites)
{
    const std::string from_2019 = written_by("# Visual Studio Version 16", "VisualStudioVersion = 16.0.29519.181");
    struct expected_header {
        cli_version target;
        std::string header;
        reported_lines reported;
    };
    const expected_header cases[] = {
        {v2010, std::string(bom) + "\r\n" +
                    lines_of({format_11, "# Visual Studio 2010", "VisualStudioVersion = 16.0.29519.181", minimum}),
         {std::string(format_12), "# Visual Studio Version 16"}},
        {v2012, std::string(bom) + "\r\n" +
                    lines_of({format_12, "# Visual Studio 2012", "VisualStudioVersion = 16.0.29519.181", minimum}),
         {"# Visual Studio Version 16"}},
        {v2013, written_by("# Visual Studio 2013", "VisualStudioVersion = 12.0"),
         {"# Visual Studio Version 16", "VisualStudioVersion = 16.0.29519.181"}},
        {v2015, written_by("# Visual Studio 14", "VisualStudioVersion = 14.0"),
         {"# Visual Studio Version 16", "VisualStudioVersion = 16.0.29519.181"}},
        {v2017, written_by("# Visual Studio 15", "VisualStudioVersion = 15.0"),
         {"# Visual Studio Version 16", "VisualStudioVersion = 16.0.29519.181"}},
        {v2019, from_2019, {}},
        {v2022, written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.0"),
         {"# Visual Studio Version 16", "VisualStudioVersion = 16.0.29519.181"}},
        {v2026, written_by("# Visual Studio Version 18", "VisualStudioVersion = 18.0"),
         {"# Visual Studio Version 16", "VisualStudioVersion = 16.0.29519.181"}},
    };
    for (const expected_header& c : cases) {
        SCOPED_TRACE(cli_version_table[c.target].label);
        header_run run = retarget(from_2019 + body, c.target);
        EXPECT_TRUE(run.result.found);
        EXPECT_EQ(run.converted, c.header + body);
        EXPECT_EQ(run.reported, c.reported);
    }
    for (cli_version not_a_row : {no_cli_version, cli_version(8)}) {
        EXPECT_EQ(retarget(from_2019 + body, not_a_row).result.count, 0u);
        EXPECT_FALSE(retarget(from_2019 + body, not_a_row).result.found);
    }
}

// Headers as public solutions have them, retargeted.

TEST(SolutionHeaderShapes, RealHeadersGetTheTargetsLinesAndKeepTheirOwnBytes)
{
    struct shape {
        const char* name;
        std::string header;
        cli_version target;
        std::string expected;
        reported_lines reported;
    };
    const shape cases[] = {
        {"Visual C++ Express 2010 (zlib contrib/vstudio/vc10), to 2026",
         std::string(bom) + "\r\n" + lines_of({format_11, "# Visual C++ Express 2010"}), v2026,
         written_by("# Visual Studio Version 18", "VisualStudioVersion = 18.0"),
         {std::string(format_11), "# Visual C++ Express 2010", "+ VisualStudioVersion = 18.0", "+ " + std::string(minimum)}},
        {"Visual C++ Express 2010, to 2010: the comment only",
         std::string(bom) + "\r\n" + lines_of({format_11, "# Visual C++ Express 2010"}), v2010,
         std::string(bom) + "\r\n" + lines_of({format_11, "# Visual Studio 2010"}), {"# Visual C++ Express 2010"}},
        {"Visual Studio 2013, to 2022",
         written_by("# Visual Studio 2013", "VisualStudioVersion = 12.0.31101.0"), v2022,
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.0"),
         {"# Visual Studio 2013", "VisualStudioVersion = 12.0.31101.0"}},
        {"Visual Studio Express 2013 for Windows Desktop, to 2013: its version line is 2013's",
         written_by("# Visual Studio Express 2013 for Windows Desktop", "VisualStudioVersion = 12.0.30723.0"), v2013,
         written_by("# Visual Studio 2013", "VisualStudioVersion = 12.0.30723.0"),
         {"# Visual Studio Express 2013 for Windows Desktop"}},
        {"Version 17 with a suffix, to 2022: left",
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.14.36717.8 d17.14"), v2022,
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.14.36717.8 d17.14"), {}},
        {"Version 17 with a suffix, to 2026: the whole value",
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.14.36717.8 d17.14"), v2026,
         written_by("# Visual Studio Version 18", "VisualStudioVersion = 18.0"),
         {"# Visual Studio Version 17", "VisualStudioVersion = 17.14.36717.8 d17.14"}},
        {"a preview, to 2022",
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.0.31314.256 PREVIEW"), v2022,
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.0.31314.256 PREVIEW"), {}},
        {"Version 18 stable, to 2026: left",
         written_by("# Visual Studio Version 18", "VisualStudioVersion = 18.8.12021.73 stable"), v2026,
         written_by("# Visual Studio Version 18", "VisualStudioVersion = 18.8.12021.73 stable"), {}},
        {"Version 18 stable, to 2019",
         written_by("# Visual Studio Version 18", "VisualStudioVersion = 18.8.12021.73 stable"), v2019,
         written_by("# Visual Studio Version 16", "VisualStudioVersion = 16.0"),
         {"# Visual Studio Version 18", "VisualStudioVersion = 18.8.12021.73 stable"}},
        {"Version 17 to 2012: the version lines are left",
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.0.31903.59"), v2012,
         written_by("# Visual Studio 2012", "VisualStudioVersion = 17.0.31903.59"), {"# Visual Studio Version 17"}},
        {"written by a generator: no byte order mark, LF, no version lines, to 2022",
         lines_of({format_12, "# Visual Studio Version 17"}, "\n"), v2022,
         std::string(bom) + lines_of({format_12, "# Visual Studio Version 17", "VisualStudioVersion = 17.0", minimum}, "\n"),
         {"+ UTF-8 byte order mark", "+ VisualStudioVersion = 17.0", "+ " + std::string(minimum)}},
        {"no comment line: one goes in after the format line",
         std::string(bom) + lines_of({format_12, "VisualStudioVersion = 14.0.25420.1", minimum}), v2015,
         std::string(bom) + lines_of({format_12, "# Visual Studio 14", "VisualStudioVersion = 14.0.25420.1", minimum}),
         {"+ # Visual Studio 14"}},
        {"no comment line and no version lines: all three, in order",
         std::string(bom) + lines_of({format_12}), v2017,
         std::string(bom) + lines_of({format_12, "# Visual Studio 15", "VisualStudioVersion = 15.0", minimum}),
         {"+ # Visual Studio 15", "+ VisualStudioVersion = 15.0", "+ " + std::string(minimum)}},
        {"a minimum of its own is kept, a missing version line goes in",
         std::string(bom) + lines_of({format_12, "# Visual Studio 2013", "MinimumVisualStudioVersion = 12.0"}), v2019,
         std::string(bom) +
             lines_of({format_12, "# Visual Studio Version 16", "VisualStudioVersion = 16.0", "MinimumVisualStudioVersion = 12.0"}),
         {"# Visual Studio 2013", "+ VisualStudioVersion = 16.0"}},
        {"a version line without a minimum gets none",
         std::string(bom) + lines_of({format_12, "# Visual Studio 15", "VisualStudioVersion = 15.0.26228.4"}), v2026,
         std::string(bom) + lines_of({format_12, "# Visual Studio Version 18", "VisualStudioVersion = 18.0"}),
         {"# Visual Studio 15", "VisualStudioVersion = 15.0.26228.4"}},
        {"a blank line after the comment (an empty solution) stays",
         std::string(bom) + lines_of({format_11, "# Visual C++ Express 2010", ""}), v2013,
         std::string(bom) + lines_of({format_12, "# Visual Studio 2013", "VisualStudioVersion = 12.0", minimum, ""}),
         {std::string(format_11), "# Visual C++ Express 2010", "+ VisualStudioVersion = 12.0", "+ " + std::string(minimum)}},
        {"a '#' line not directly after the format line is not the comment",
         std::string(bom) + lines_of({format_12, "", "# Visual Studio 2013"}), v2012,
         std::string(bom) + lines_of({format_12, "# Visual Studio 2012", "", "# Visual Studio 2013"}),
         {"+ # Visual Studio 2012"}},
        {"the version as numbers: 017 is 17",
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 017.0"), v2022,
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 017.0"), {}},
        {"a version line without a number is replaced, blanks as they come",
         written_by("# Visual Studio Version 17", "VisualStudioVersion\t=\tCurrent"), v2022,
         written_by("# Visual Studio Version 17", "VisualStudioVersion\t=\t17.0"),
         {"VisualStudioVersion\t=\tCurrent"}},
        {"a version line with nothing behind its '=' gets the blank too",
         written_by("# Visual Studio Version 17", "VisualStudioVersion ="), v2022,
         written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.0"), {"VisualStudioVersion ="}},
        {"a format version written without its blank gets one",
         std::string(bom) + lines_of({"Microsoft Visual Studio Solution File, Format Version11.00", "# Visual Studio 2010"}),
         v2012, std::string(bom) + lines_of({format_12, "# Visual Studio 2012"}),
         {"Microsoft Visual Studio Solution File, Format Version11.00", "# Visual Studio 2010"}},
    };
    for (const shape& c : cases) {
        SCOPED_TRACE(c.name);
        header_run run = retarget(c.header + body, c.target);
        EXPECT_TRUE(run.result.found);
        EXPECT_FALSE(run.result.utf16);
        EXPECT_EQ(run.converted, c.expected + body);
        EXPECT_EQ(run.reported, c.reported);
    }
}

// The bytes around the lines: the byte order mark, blank lines, line ends.

TEST(SolutionHeaderBytes, TheByteOrderMarkBlankLinesAndLineEndsAreKept)
{
    struct bytes_case {
        const char* name;
        std::string input;
        std::string expected;
    };
    const bytes_case cases[] = {
        {"no byte order mark, a blank first line: the mark goes in front of it",
         "\r\n" + lines_of({format_12, "# Visual Studio Version 17"}),
         std::string(bom) + "\r\n" +
             lines_of({format_12, "# Visual Studio Version 18", "VisualStudioVersion = 18.0", minimum})},
        {"blank lines of spaces, tabs and CRs before the format line",
         std::string(bom) + " \t\r\n\n\r\r\n" + lines_of({format_12, "# Visual Studio Version 18", "VisualStudioVersion = 18.0"}),
         std::string(bom) + " \t\r\n\n\r\r\n" + lines_of({format_12, "# Visual Studio Version 18", "VisualStudioVersion = 18.0"})},
        {"LF only",
         std::string(bom) + "\n" + lines_of({format_11, "# Visual Studio 2010"}, "\n"),
         std::string(bom) + "\n" + lines_of({format_12, "# Visual Studio Version 18", "VisualStudioVersion = 18.0", minimum}, "\n")},
        {"an inserted line takes the line end of the line it follows",
         std::string(bom) + std::string(format_12) + "\r\n# Visual Studio Version 16\n",
         std::string(bom) + std::string(format_12) + "\r\n# Visual Studio Version 18\nVisualStudioVersion = 18.0\n" +
             std::string(minimum) + "\n"},
        {"a comment inserted after a format line ending in LF",
         std::string(bom) + std::string(format_12) + "\nVisualStudioVersion = 18.0\r\n",
         std::string(bom) + std::string(format_12) + "\n# Visual Studio Version 18\nVisualStudioVersion = 18.0\r\n"},
        {"a format line that ends the file without a line end: so does the last inserted line",
         std::string(bom) + "\n" + std::string(format_12),
         std::string(bom) + "\n" + std::string(format_12) + "\n# Visual Studio Version 18\nVisualStudioVersion = 18.0\n" +
             std::string(minimum)},
        {"the same, with no line end in the whole file: CR LF, Visual Studio's own",
         std::string(format_12),
         std::string(bom) + std::string(format_12) + "\r\n# Visual Studio Version 18\r\nVisualStudioVersion = 18.0\r\n" +
             std::string(minimum)},
        {"a comment line that ends the file",
         std::string(bom) + std::string(format_12) + "\n# Visual Studio 15",
         std::string(bom) + std::string(format_12) + "\n# Visual Studio Version 18\nVisualStudioVersion = 18.0\n" +
             std::string(minimum)},
        {"blanks in front of the format line, as the reader takes it",
         std::string(bom) + "  " + std::string(format_12) + "\r\n# Visual Studio Version 18\r\nVisualStudioVersion = 18.0\r\n",
         std::string(bom) + "  " + std::string(format_12) + "\r\n# Visual Studio Version 18\r\nVisualStudioVersion = 18.0\r\n"},
        {"a zero byte is a byte like another",
         std::string(bom) + lines_of({format_12, "# Visual Studio 14", "VisualStudioVersion = 14.0.25420.1"}) +
             std::string("Project(\"\0\")\r\n", 14),
         std::string(bom) + lines_of({format_12, "# Visual Studio Version 18", "VisualStudioVersion = 18.0"}) +
             std::string("Project(\"\0\")\r\n", 14)},
    };
    for (const bytes_case& c : cases) {
        SCOPED_TRACE(c.name);
        header_run run = retarget(c.input, v2026);
        EXPECT_TRUE(run.result.found);
        EXPECT_EQ(run.converted, c.expected);
    }
}

TEST(SolutionHeaderBytes, OnlyTheHeaderIsLookedAtUpToTheFirstProjectOrGlobal)
{
    // A version line further down, in a project's section or the Global
    // section, is not the header's.
    for (std::string_view boundary : {"Project(\"{2150E333-8FDC-42A3-9474-1A3956D46DE8}\") = \"x\", \"x\", \"{1}\"",
                                      "  Project (\"{1}\")", "Global", "\tGlobal"}) {
        SCOPED_TRACE(boundary);
        std::string rest = std::string(boundary) + "\r\nVisualStudioVersion = 14.0\r\n" + std::string(minimum) + "\r\n";
        header_run run = retarget(std::string(bom) + lines_of({format_12, "# Visual Studio 14"}) + rest, v2015);
        EXPECT_EQ(run.converted, std::string(bom) +
                                     lines_of({format_12, "# Visual Studio 14", "VisualStudioVersion = 14.0", minimum}) +
                                     rest);
    }
    // A Minimum line of the header kept, wherever in the header it stands.
    std::string minimum_first =
        std::string(bom) + lines_of({format_12, "# Visual Studio 14", minimum, "VisualStudioVersion = 14.0.25420.1"});
    EXPECT_EQ(retarget(minimum_first + body, v2022).converted,
              std::string(bom) + lines_of({format_12, "# Visual Studio Version 17", minimum, "VisualStudioVersion = 17.0"}) +
                  body);
}

// What is not a solution, and what is not looked at.

TEST(SolutionHeaderNotRead, UTF16AndTextsWithoutAFormatLineGetNothing)
{
    struct not_read {
        const char* name;
        std::string input;
        bool utf16;
    };
    const not_read cases[] = {
        {"UTF-16 LE", std::string("\xFF\xFE\r\0\n\0M\0", 8), true},
        {"UTF-16 BE", std::string("\xFE\xFF\0\r\0\n\0M", 8), true},
        {"empty", "", false},
        {"the byte order mark alone", std::string(bom), false},
        {"blank lines only", std::string(bom) + "\r\n \r\n\t", false},
        {"a project file", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Project>\r\n", false},
        {"a comment before the format line", "# Visual Studio 14\r\n" + std::string(format_12) + "\r\n", false},
        {"the format line's start cut", "Microsoft Visual Studio Solution File, Format\r\n", false},
        {"UTF-16 without its mark", std::string("M\0i\0c\0", 6), false},
    };
    for (const not_read& c : cases) {
        SCOPED_TRACE(c.name);
        header_run run = retarget(c.input, v2026);
        EXPECT_FALSE(run.result.found);
        EXPECT_EQ(run.result.utf16, c.utf16);
        EXPECT_EQ(run.result.count, 0u);
        EXPECT_EQ(run.converted, c.input);
    }
}

// A retargeted solution retargeted again.

TEST(SolutionHeaderTwice, ASecondRunToTheSameTargetChangesNothing)
{
    const std::string inputs[] = {
        std::string(bom) + "\r\n" + lines_of({format_11, "# Visual C++ Express 2010"}),
        written_by("# Visual Studio Version 17", "VisualStudioVersion = 17.14.36717.8 d17.14"),
        lines_of({format_12}, "\n"),
        std::string(format_12),
        "\r\n" + std::string(format_12) + "\n# Visual Studio 15",
        std::string(bom) + lines_of({format_12, "VisualStudioVersion 16", "MinimumVisualStudioVersion = 10.0"}),
        std::string(bom) + lines_of({format_12, "Global"}),
        lines_of({"Microsoft Visual Studio Solution File, Format Version", "#"}),
    };
    for (const std::string& input : inputs) {
        for (cli_version target = v2010; target <= v2026; ++target) {
            SCOPED_TRACE(std::string(cli_version_table[target].label) + ": " + input);
            // A text that ends without a line end gets no project behind it.
            header_run first = retarget(input.back() == '\n' ? input + body : input, target);
            EXPECT_TRUE(first.result.found);
            header_run second = retarget(first.converted, target);
            EXPECT_TRUE(second.result.found);
            EXPECT_EQ(second.result.count, 0u) << second.reported.front();
            EXPECT_EQ(second.converted, first.converted);
        }
    }
}
