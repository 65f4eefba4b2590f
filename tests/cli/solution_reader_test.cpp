#include "cli/solution_reader.h"

#include <gtest/gtest.h>

namespace {

using paths = std::vector<std::string>;

constexpr std::string_view cpp_type = "{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}";
constexpr std::string_view folder_type = "{2150E333-8FDC-42A3-9474-1A3956D46DE8}";
constexpr std::string_view csharp_type = "{FAE04EC0-301F-11D3-BF4B-00C04F79EFBC}";

std::string project_line(std::string_view type, std::string_view name, std::string_view path)
{
    return "Project(\"" + std::string(type) + "\") = \"" + std::string(name) + "\", \"" + std::string(path) +
           "\", \"{11111111-2222-3333-4444-555555555555}\"\r\nEndProject\r\n";
}

// A typical solution with the given project lines.
std::string solution(const std::string& projects)
{
    return "\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
           "# Visual Studio Version 17\r\n"
           "VisualStudioVersion = 17.0.31903.59\r\n" +
           projects +
           "Global\r\n"
           "\tGlobalSection(SolutionConfigurationPlatforms) = preSolution\r\n"
           "\t\tDebug|x64 = Debug|x64\r\n"
           "\tEndGlobalSection\r\n"
           "EndGlobal\r\n";
}

// UTF-16LE with its byte order mark, as older versions saved solutions.
std::string utf16le(std::string_view ascii_or_utf16_bytes, bool already_utf16 = false)
{
    std::string out = "\xFF\xFE";
    if (already_utf16)
        return out + std::string(ascii_or_utf16_bytes);
    for (char c : ascii_or_utf16_bytes) {
        out += c;
        out += '\0';
    }
    return out;
}

// The projects of a solution that must read.
paths sln(std::string_view bytes)
{
    solution_listing listing;
    EXPECT_EQ(sln_project_paths(bytes, listing), 0u);
    return listing.paths;
}

paths slnx(std::string_view bytes)
{
    solution_listing listing;
    EXPECT_EQ(slnx_project_paths(bytes, listing), 0u);
    return listing.paths;
}

cli_error sln_error(std::string_view bytes)
{
    solution_listing listing;
    cli_error code = sln_project_paths(bytes, listing);
    EXPECT_TRUE(listing.paths.empty() || code == 0);
    return code;
}

cli_error slnx_error(std::string_view bytes)
{
    solution_listing listing;
    cli_error code = slnx_project_paths(bytes, listing);
    EXPECT_TRUE(listing.paths.empty() || code == 0);
    return code;
}

constexpr std::string_view header = "Microsoft Visual Studio Solution File, Format Version 12.00\r\n";

}  // namespace

TEST(ProjectExtension, IsComparedWithoutCase)
{
    EXPECT_TRUE(has_project_extension("a.vcxproj"));
    EXPECT_TRUE(has_project_extension("dir\\A.VCXPROJ"));
    EXPECT_TRUE(has_project_extension(".VcxProj"));
    EXPECT_FALSE(has_project_extension("a.vcxproj.filters"));
    EXPECT_FALSE(has_project_extension("a.vcproj"));
    EXPECT_FALSE(has_project_extension("a.csproj"));
    EXPECT_FALSE(has_project_extension("vcxproj"));
    EXPECT_FALSE(has_project_extension(""));
}

TEST(SlnReader, FindsCppProjectsInFileOrder)
{
    std::string text = solution(project_line(cpp_type, "app", "src\\app\\app.vcxproj") +
                                project_line(cpp_type, "lib", "lib.vcxproj") +
                                project_line(cpp_type, "Core", "..\\Shared\\Core\\Core.VCXPROJ"));
    EXPECT_EQ(sln(text), (paths{"src\\app\\app.vcxproj", "lib.vcxproj", "..\\Shared\\Core\\Core.VCXPROJ"}));
}

TEST(SlnReader, SkipsSolutionFoldersAndOtherProjects)
{
    std::string text = solution(project_line(folder_type, "Solution Items", "Solution Items") +
                                project_line(csharp_type, "tool", "tool\\tool.csproj") +
                                project_line(cpp_type, "app", "app\\app.vcxproj") +
                                project_line(cpp_type, "filters", "app\\app.vcxproj.filters") +
                                project_line(folder_type, "x.vcxproj", "x.vcxproj\\"));
    EXPECT_EQ(sln(text), (paths{"app\\app.vcxproj"}));
}

TEST(SlnReader, TakesThePathByItsTypeOfLineNotByItsTypeGuid)
{
    // A project is known by its path; an unknown type guid does not hide it.
    std::string text = solution(project_line("{00000000-0000-0000-0000-000000000000}", "odd", "odd.vcxproj"));
    EXPECT_EQ(sln(text), (paths{"odd.vcxproj"}));
}

TEST(SlnReader, IgnoresProjectSectionsAndLookalikeLines)
{
    std::string text = solution(
        "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"app\", \"app.vcxproj\", \"{1}\"\r\n"
        "\tProjectSection(ProjectDependencies) = postProject\r\n"
        "\t\t{2} = \"x.vcxproj\", \"y.vcxproj\"\r\n"
        "\tEndProjectSection\r\n"
        "EndProject\r\n"
        "# Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"c\", \"comment.vcxproj\", \"{3}\"\r\n"
        "Projects(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"p\", \"plural.vcxproj\", \"{4}\"\r\n"
        "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"only name.vcxproj\"\r\n"
        "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"open\", \"unclosed.vcxproj\r\n");
    EXPECT_EQ(sln(text), (paths{"app.vcxproj"}));
}

TEST(SlnReader, AcceptsOddSpacing)
{
    std::string text = solution(
        "  \tProject ( \"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\" )=\"a\",\"a.vcxproj\",\"{1}\"\r\n"
        "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\")   =   \"b\" ,\t\"sub dir\\b c.vcxproj\"  ,  \"{2}\"  \r\n"
        "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"c\", \"c.vcxproj\"\r\n");
    EXPECT_EQ(sln(text), (paths{"a.vcxproj", "sub dir\\b c.vcxproj", "c.vcxproj"}));
}

TEST(SlnReader, KeepsThePathAsWrittenInsideItsQuotes)
{
    std::string text = solution(project_line(cpp_type, "a", " lead\\a.vcxproj") +
                                project_line(cpp_type, "b", "c:\\abs\\b.vcxproj"));
    EXPECT_EQ(sln(text), (paths{" lead\\a.vcxproj", "c:\\abs\\b.vcxproj"}));
}

TEST(SlnReader, ReadsLineFeedOnlyAndALastLineWithoutEnd)
{
    std::string text = "Microsoft Visual Studio Solution File, Format Version 12.00\n"
                       "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"a\", \"a.vcxproj\", \"{1}\"\n"
                       "EndProject\n"
                       "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"b\", \"b.vcxproj\", \"{2}\"";
    EXPECT_EQ(sln(text), (paths{"a.vcxproj", "b.vcxproj"}));
}

TEST(SlnReader, SkipsAUtf8ByteOrderMark)
{
    std::string text = "\xEF\xBB\xBF" + solution(project_line(cpp_type, "a", "a.vcxproj"));
    EXPECT_EQ(sln(text), (paths{"a.vcxproj"}));
}

TEST(SlnReader, KeepsUtf8PathsAsTheyAre)
{
    std::string text = solution(project_line(cpp_type, "\xC3\xBC", "\xC3\xBC\\\xE2\x82\xAC.vcxproj"));
    EXPECT_EQ(sln(text), (paths{"\xC3\xBC\\\xE2\x82\xAC.vcxproj"}));
}

TEST(SlnReader, ReadsUtf16LittleEndianWithByteOrderMark)
{
    std::string text = utf16le(solution(project_line(cpp_type, "a", "src\\a.vcxproj") +
                                         project_line(csharp_type, "b", "b.csproj")));
    EXPECT_EQ(sln(text), (paths{"src\\a.vcxproj"}));
}

TEST(SlnReader, GivesUtf16PathsInUtf8)
{
    // The folder is u-umlaut (U+00FC), the name U+1F600, a surrogate pair.
    std::string line = solution(project_line(cpp_type, "x", "@\\#.vcxproj"));
    std::string units;
    for (char c : line) {
        if (c == '@')
            units += std::string("\xFC\x00", 2);
        else if (c == '#')
            units += std::string("\x3D\xD8\x00\xDE", 4);
        else
            units += std::string{c, '\0'};
    }
    EXPECT_EQ(sln(utf16le(units, true)), (paths{"\xC3\xBC\\\xF0\x9F\x98\x80.vcxproj"}));
}

TEST(SlnReader, Utf16WithAnOddLastByteIsNotASolution)
{
    std::string text = utf16le(solution(project_line(cpp_type, "a", "a.vcxproj"))) + "\r";
    EXPECT_EQ(sln_error(text), error_not_a_solution);
}

TEST(SlnReader, Utf16WithoutByteOrderMarkIsNotASolution)
{
    std::string text = utf16le(solution(project_line(cpp_type, "a", "a.vcxproj"))).substr(2);
    EXPECT_EQ(sln_error(text), error_not_a_solution);
}

TEST(SlnReader, ReadsUtf16BigEndianWithByteOrderMark)
{
    std::string little = utf16le(solution(project_line(cpp_type, "a", "src\\a.vcxproj"))).substr(2);
    std::string big = "\xFE\xFF";
    for (std::size_t i = 0; i + 1 < little.size(); i += 2) {
        big += little[i + 1];
        big += little[i];
    }
    EXPECT_EQ(sln(big), (paths{"src\\a.vcxproj"}));
}

TEST(SlnReader, EmptyOrForeignInputIsNotASolution)
{
    EXPECT_EQ(sln_error(""), error_not_a_solution);
    EXPECT_EQ(sln_error("\xEF\xBB\xBF"), error_not_a_solution);
    EXPECT_EQ(sln_error("\xFF\xFE"), error_not_a_solution);
    EXPECT_EQ(sln_error("\xFE\xFF"), error_not_a_solution);
    EXPECT_EQ(sln_error("\r\n\r\n  \r\n"), error_not_a_solution);
    EXPECT_EQ(sln_error("<Solution><Project Path=\"a.vcxproj\" /></Solution>"), error_not_a_solution);
    // Projects, but no header: not taken.
    EXPECT_EQ(sln_error(project_line(cpp_type, "a", "a.vcxproj")), error_not_a_solution);
    // The header after another line.
    EXPECT_EQ(sln_error("# x\r\n" + std::string(header) + project_line(cpp_type, "a", "a.vcxproj")),
              error_not_a_solution);
}

TEST(SlnReader, TheHeaderMayFollowByteOrderMarkAndBlankLines)
{
    std::string text = "\xEF\xBB\xBF\r\n \t\r\n\n" + std::string(header) + project_line(cpp_type, "a", "a.vcxproj");
    EXPECT_EQ(sln(text), (paths{"a.vcxproj"}));
    EXPECT_EQ(sln(std::string(header)), paths{});
}

TEST(SlnReader, RejectsEntriesWithAZeroByteOrAnotherControlCharacter)
{
    using namespace std::string_literals;
    std::string text = solution(project_line(cpp_type, "a", "Directory.Build.props\0.vcxproj"s) +
                                project_line(cpp_type, "b", "tab\there.vcxproj") +
                                project_line(cpp_type, "c", "del\x7F.vcxproj") +
                                project_line(cpp_type, "d", "good.vcxproj") +
                                project_line(cpp_type, "e", "x.vcxproj\0.csproj"s));
    solution_listing listing;
    ASSERT_EQ(sln_project_paths(text, listing), 0u);
    EXPECT_EQ(listing.paths, (paths{"good.vcxproj"}));
    EXPECT_EQ(listing.rejected, (paths{"Directory.Build.props\0.vcxproj"s, "tab\there.vcxproj", "del\x7F.vcxproj"}));
}

TEST(SolutionText, DecodesByItsByteOrderMark)
{
    using namespace std::string_view_literals;
    std::string text;
    ASSERT_TRUE(solution_text("\xEF\xBB\xBF" "a\xC3\xBC", text));
    EXPECT_EQ(text, "a\xC3\xBC");
    ASSERT_TRUE(solution_text("\xFF\xFE" "a\0\xFC\0"sv, text));
    EXPECT_EQ(text, "a\xC3\xBC");
    ASSERT_TRUE(solution_text("\xFE\xFF" "\0a\0\xFC"sv, text));
    EXPECT_EQ(text, "a\xC3\xBC");
    EXPECT_FALSE(solution_text("\xFE\xFF" "\0a\0"sv, text));
}

// ---- .slnx ----

TEST(SlnxReader, FindsProjectsAtAnyDepthInFileOrder)
{
    std::string text = "<Solution>\r\n"
                       "  <Project Path=\"top.vcxproj\" />\r\n"
                       "  <Folder Name=\"/src/\">\r\n"
                       "    <Project Path=\"src\\a\\a.vcxproj\" Id=\"1\" />\r\n"
                       "    <Folder Name=\"/src/deep/\">\r\n"
                       "      <Folder Name=\"/src/deep/deeper/\">\r\n"
                       "        <Project Path=\"src/deep/b.VCXPROJ\">\r\n"
                       "          <BuildType Project=\"Release\" />\r\n"
                       "        </Project>\r\n"
                       "      </Folder>\r\n"
                       "    </Folder>\r\n"
                       "  </Folder>\r\n"
                       "  <Project Path=\"last.vcxproj\"/>\r\n"
                       "</Solution>\r\n";
    EXPECT_EQ(slnx(text), (paths{"top.vcxproj", "src\\a\\a.vcxproj", "src/deep/b.VCXPROJ", "last.vcxproj"}));
}

TEST(SlnxReader, SkipsOtherProjectsAndOtherElements)
{
    std::string text = "<Solution>"
                       "<Project Path=\"tool/tool.csproj\" />"
                       "<Project Path=\"a.vcxproj.filters\" />"
                       "<Project Type=\"Classic C++\" />"
                       "<Projects Path=\"plural.vcxproj\" />"
                       "<project Path=\"lower.vcxproj\" />"
                       "<Folder Name=\"/x.vcxproj/\"><File Path=\"notes.vcxproj\" /></Folder>"
                       "<Project path=\"wrong-case-attribute.vcxproj\" />"
                       "<Project XPath=\"prefixed.vcxproj\" />"
                       "<BuildDependency Project=\"dep.vcxproj\" />"
                       "<Project Type=\"x\" Path=\"good.vcxproj\" />"
                       "</Solution>";
    EXPECT_EQ(slnx(text), (paths{"good.vcxproj"}));
}

TEST(SlnxReader, TakesSingleAndDoubleQuotesAndSpacesAroundTheEqualsSign)
{
    std::string text = "<Solution>"
                       "<Project Path='single.vcxproj'/>"
                       "<Project\r\n\tPath\t=\r\n \"spaced.vcxproj\"\r\n/>"
                       "<Project Name='it\"s' Path=\"with 'quote'.vcxproj\" />"
                       "<Project Path=\"a>b.vcxproj\" />"
                       "</Solution>";
    EXPECT_EQ(slnx(text),
              (paths{"single.vcxproj", "spaced.vcxproj", "with 'quote'.vcxproj", "a>b.vcxproj"}));
}

TEST(SlnxReader, ReplacesThePredefinedEntities)
{
    std::string text = "<Solution><Project Path=\"a&amp;b&lt;c&gt;d&apos;e&quot;f.vcxproj\" /></Solution>";
    EXPECT_EQ(slnx(text), (paths{"a&b<c>d'e\"f.vcxproj"}));
}

TEST(SlnxReader, ReplacesCharacterReferences)
{
    std::string text = "<Solution>"
                       "<Project Path=\"&#252;&#xFC;&#x20AC;&#X41;&#x1F600;.vcxproj\" />"
                       "<Project Path=\"ends&#x2E;vcxproj\" />"
                       "<Project Path=\"line&#10;feed.vcxproj\" />"
                       "</Solution>";
    solution_listing listing;
    ASSERT_EQ(slnx_project_paths(text, listing), 0u);
    EXPECT_EQ(listing.paths, (paths{"\xC3\xBC\xC3\xBC\xE2\x82\xAC&#X41;\xF0\x9F\x98\x80.vcxproj", "ends.vcxproj"}));
    // A line feed is a control character: no project is named so.
    EXPECT_EQ(listing.rejected, (paths{"line\nfeed.vcxproj"}));
}

TEST(SlnxReader, KeepsMalformedReferencesAsWritten)
{
    std::string text = "<Solution>"
                       "<Project Path=\"&unknown;&#;&#x;&#12a;&#0;&#xD800;&#x110000;&#99999999999;&amp.vcxproj\" />"
                       "</Solution>";
    EXPECT_EQ(slnx(text),
              (paths{"&unknown;&#;&#x;&#12a;&#0;&#xD800;&#x110000;&#99999999999;&amp.vcxproj"}));
}

TEST(SlnxReader, TurnsLiteralLineEndsAndTabsInValuesIntoSpaces)
{
    std::string text = "<Solution><Project Path=\"a\r\nb\tc\rd\ne.vcxproj\" /></Solution>";
    EXPECT_EQ(slnx(text), (paths{"a b c d e.vcxproj"}));
}

TEST(SlnxReader, SkipsCommentsInstructionsCdataAndDoctype)
{
    std::string text = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                       "<!DOCTYPE Solution [\r\n"
                       "  <!ELEMENT Solution ANY>\r\n"
                       "  <!ENTITY x \"] > <Project Path='in-doctype.vcxproj'/>\">\r\n"
                       "  <!-- ] > <Project Path=\"doctype-comment.vcxproj\"/> -->\r\n"
                       "]>\r\n"
                       "<Solution>\r\n"
                       "  <!-- <Project Path=\"commented.vcxproj\" /> -->\r\n"
                       "  <?pi <Project Path=\"in-pi.vcxproj\" /> ?>\r\n"
                       "  <Notes><![CDATA[<Project Path=\"in-cdata.vcxproj\" />]]></Notes>\r\n"
                       "  <Project Path=\"real.vcxproj\" />\r\n"
                       "  <!---->\r\n"
                       "  <!--> <Project Path=\"in-short-comment.vcxproj\" /> -->\r\n"
                       "  <Project Path=\"after.vcxproj\" />\r\n"
                       "</Solution>\r\n";
    EXPECT_EQ(slnx(text), (paths{"real.vcxproj", "after.vcxproj"}));
}

TEST(SlnxReader, ATruncatedSolutionIsNotASolution)
{
    EXPECT_EQ(slnx_error("<Solution><Project Path=\"a.vcxproj\"/><Project Path=\"b.vcx"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Project Path=\"a.vcxproj\"/><!-- <Project Path=\"b.vcxproj\"/>"),
              error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Project Path=\"a.vcxproj\""), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Project Path=\"a.vcxproj\"/>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Folder><Project Path=\"a.vcxproj\"/></Folder>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Notes><![CDATA[x</Notes></Solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<?xml version=\"1.0\"?><!DOCTYPE Solution [ <!ENTITY x 'y'> <Solution/>"),
              error_not_a_solution);
}

TEST(SlnxReader, MalformedMarkupIsNotASolution)
{
    EXPECT_EQ(slnx_error("<Solution><Project Path=bare.vcxproj /></Solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Project Flag Path=\"a.vcxproj\" /></Solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Project / Path=\"a.vcxproj\" /></Solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Project Path=\"a.vcxproj\"Id=\"1\" /></Solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Project Path=\"a<b.vcxproj\" /></Solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><Folder></Solution></Folder>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution></Solution><Solution></Solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution/>trailing text"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution><! odd></Solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Solution></>"), error_not_a_solution);
}

TEST(SlnxReader, TheRootMustBeASolution)
{
    EXPECT_EQ(slnx_error("<Project Path=\"first.vcxproj\"/>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<solution><Project Path=\"a.vcxproj\"/></solution>"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<Project><Solution><Project Path=\"a.vcxproj\"/></Solution></Project>"),
              error_not_a_solution);
}

TEST(SlnxReader, TakesTheFirstOfRepeatedPathAttributes)
{
    EXPECT_EQ(slnx("<Solution><Project Path=\"first.vcxproj\" Path=\"second.vcxproj\"/></Solution>"),
              (paths{"first.vcxproj"}));
}

TEST(SlnxReader, EmptyInputIsNotASolution)
{
    EXPECT_EQ(slnx_error(""), error_not_a_solution);
    EXPECT_EQ(slnx_error("\xEF\xBB\xBF"), error_not_a_solution);
    EXPECT_EQ(slnx_error("  \r\n"), error_not_a_solution);
    EXPECT_EQ(slnx_error("no markup at all a.vcxproj"), error_not_a_solution);
    EXPECT_EQ(slnx_error("<!-- only a comment -->"), error_not_a_solution);
}

TEST(SlnxReader, AnEmptySolutionHasNoProjects)
{
    EXPECT_EQ(slnx("<Solution/>"), paths{});
    EXPECT_EQ(slnx("\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- c -->\r\n<Solution>\r\n</Solution>\r\n<!-- d -->\r\n"), paths{});
}

TEST(SlnxReader, ReadsUtf16WithItsByteOrderMark)
{
    std::string little = "\xFF\xFE";
    for (char c : std::string_view("<Solution><Project Path=\"a.vcxproj\"/></Solution>")) {
        little += c;
        little += '\0';
    }
    EXPECT_EQ(slnx(little), (paths{"a.vcxproj"}));
}

TEST(SlnxReader, RejectsEntriesWithAZeroByte)
{
    using namespace std::string_literals;
    solution_listing listing;
    ASSERT_EQ(slnx_project_paths("<Solution><Project Path=\"x\0.vcxproj\"/><Project Path=\"&#9;t.vcxproj\"/>"
                                 "<Project Path=\"ok.vcxproj\"/></Solution>"s,
                                 listing),
              0u);
    EXPECT_EQ(listing.paths, (paths{"ok.vcxproj"}));
    EXPECT_EQ(listing.rejected, (paths{"x\0.vcxproj"s, "\tt.vcxproj"}));
}

TEST(XmlAttributeValue, ReadsReferencesThatFollowStrayAmpersands)
{
    EXPECT_EQ(xml_attribute_value("&&amp;&&#65;&"), "&&&A&");
    EXPECT_EQ(xml_attribute_value("&#x0000041;&amp"), "A&amp");
    EXPECT_EQ(xml_attribute_value("& amp;"), "& amp;");
}
