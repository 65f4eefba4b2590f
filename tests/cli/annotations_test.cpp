// The annotation lines for GitHub Actions and Azure Pipelines: each escaped
// character, read back as each system's runner reads it, and the absolute
// paths Azure wants.

#include "cli/annotations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/file_system.h"

namespace {

namespace fs = std::filesystem;

std::string escaped(annotation_format format, std::string_view value, bool property)
{
    std::string text;
    if (format == annotation_format::github)
        append_github_escaped(text, value, property);
    else
        append_azure_escaped(text, value, property);
    return text;
}

void replace_all(std::string& text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// What Azure's agent makes of a value: its four escapes first, then its
// escape of '%'.
std::string azure_agent_reads(std::string text)
{
    replace_all(text, "%3B", ";");
    replace_all(text, "%0D", "\r");
    replace_all(text, "%0A", "\n");
    replace_all(text, "%5D", "]");
    replace_all(text, "%AZP25", "%");
    return text;
}

// What GitHub's runner makes of a value: '%' last, so that "%253A" stays "%3A".
std::string github_runner_reads(std::string text)
{
    replace_all(text, "%0D", "\r");
    replace_all(text, "%0A", "\n");
    replace_all(text, "%3A", ":");
    replace_all(text, "%2C", ",");
    replace_all(text, "%25", "%");
    return text;
}

std::string absolute_of(const std::string& path)
{
    std::string absolute;
    EXPECT_EQ(absolute_path(path, absolute), 0u) << path;
    return absolute;
}

TEST(Annotations, EachSpecialCharacterIsEscapedAsItsSystemWantsIt)
{
    struct row {
        annotation_format format;
        bool property;
        const char* value;
        const char* expected;
    };
    const row table[] = {
        {annotation_format::azure, true, "%", "%AZP25"},
        {annotation_format::azure, true, "\r", "%0D"},
        {annotation_format::azure, true, "\n", "%0A"},
        {annotation_format::azure, true, "]", "%5D"},
        {annotation_format::azure, true, ";", "%3B"},
        {annotation_format::azure, true, "%3B", "%AZP253B"},
        {annotation_format::azure, true, "%AZP25", "%AZP25AZP25"},
        {annotation_format::azure, true, "C:\\src\\my;game]\\A.vcxproj", "C:\\src\\my%3Bgame%5D\\A.vcxproj"},
        {annotation_format::azure, false, "%", "%AZP25"},
        {annotation_format::azure, false, "\r", "%0D"},
        {annotation_format::azure, false, "\n", "%0A"},
        {annotation_format::azure, false, "];[", "];["},
        {annotation_format::azure, false, "100%\r\n##vso[task.complete result=Failed;]",
         "100%AZP25%0D%0A##vso[task.complete result=Failed;]"},
        {annotation_format::github, true, "%", "%25"},
        {annotation_format::github, true, "\r", "%0D"},
        {annotation_format::github, true, "\n", "%0A"},
        {annotation_format::github, true, ":", "%3A"},
        {annotation_format::github, true, ",", "%2C"},
        {annotation_format::github, false, "%\r\n", "%25%0D%0A"},
        {annotation_format::github, false, ":,", ":,"},
    };
    for (const row& r : table)
        EXPECT_EQ(escaped(r.format, r.value, r.property), r.expected)
            << (r.format == annotation_format::azure ? "azure " : "github ") << (r.property ? "property " : "message ")
            << r.value;
}

TEST(Annotations, EveryValueReadsBackAsItWas)
{
    const char* values[] = {
        "plain",  "%",       "%%",       "%0A",     "%0D%0A",   "%3B%5D", "%AZP25", "%AZP250A",
        "a;b]c",  "\r\n\r", "%25%3A%2C", "we:ird,dir%20", "]]]", ";;", "##vso[x]", "::error::",
    };
    for (const char* value : values) {
        for (bool property : {true, false}) {
            std::string azure = escaped(annotation_format::azure, value, property);
            EXPECT_EQ(azure_agent_reads(azure), value) << azure;
            EXPECT_EQ(azure.find_first_of("\r\n"), std::string::npos) << azure;
            if (property)
                EXPECT_EQ(azure.find_first_of(";]"), std::string::npos) << azure;
            std::string github = escaped(annotation_format::github, value, property);
            EXPECT_EQ(github_runner_reads(github), value) << github;
            EXPECT_EQ(github.find_first_of("\r\n"), std::string::npos) << github;
            if (property)
                EXPECT_EQ(github.find_first_of(":,"), std::string::npos) << github;
        }
    }
}

TEST(Annotations, EachFormatWritesOneLine)
{
    std::string where = absolute_of("A;1.vcxproj");
    std::string where_escaped = escaped(annotation_format::azure, where, true);
    struct row {
        annotation_format format;
        annotation_kind kind;
        std::size_t line;
        std::string expected;
    };
    const row table[] = {
        {annotation_format::github, annotation_kind::error, 26, "::error file=A;1.vcxproj,line=26::m: 1%25\n"},
        {annotation_format::github, annotation_kind::warning, 0, "::warning file=A;1.vcxproj::m: 1%25\n"},
        {annotation_format::azure, annotation_kind::error, 26,
         "##vso[task.logissue type=error;sourcepath=" + where_escaped + ";linenumber=26;]m: 1%AZP25\n"},
        {annotation_format::azure, annotation_kind::warning, 0,
         "##vso[task.logissue type=warning;sourcepath=" + where_escaped + ";]m: 1%AZP25\n"},
        {annotation_format::none, annotation_kind::error, 26, ""},
    };
    for (const row& r : table) {
        std::string text = "before\n";
        append_annotation(text, r.format, r.kind, "A;1.vcxproj", r.line, "m: 1%");
        EXPECT_EQ(text, "before\n" + r.expected);
    }
    EXPECT_NE(where_escaped.find("A%3B1.vcxproj"), std::string::npos) << where_escaped;
}

// Azure takes a project by its absolute path: relative ones behind the
// current folder, "." and ".." resolved as written.
TEST(Annotations, AbsolutePathsStandBehindTheCurrentFolder)
{
    fs::path here = fs::current_path();
    struct row {
        std::string path;
        fs::path expected;
    };
    const row table[] = {
        {"Engine/Engine.vcxproj", here / "Engine" / "Engine.vcxproj"},
        {"./Engine/./Engine.vcxproj", here / "Engine" / "Engine.vcxproj"},
        {"Tools/../Engine//Engine.vcxproj", here / "Engine" / "Engine.vcxproj"},
        {"My Game.sln", here / "My Game.sln"},
        {(here / "a" / ".." / "b.vcxproj").string(), here / "b.vcxproj"},
        {(here / "b.vcxproj").string(), here / "b.vcxproj"},
    };
    for (const row& r : table)
        EXPECT_EQ(absolute_of(r.path), r.expected.lexically_normal().string()) << r.path;
}

}  // namespace
