#include "core/report_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring widened(const char* narrow)
{
    std::string text(narrow);
    return std::wstring(text.begin(), text.end());
}

std::string line_of(const labelled_line& line, const char* label)
{
    return std::string(line.before.narrow) + (line.shows_label ? label : "") + line.after.narrow;
}

}  // namespace

TEST(ReportTexts, EachTextIsTheSameInBothForms)
{
    for (report_text t : {heading_open, heading_version, heading_close, line_end, inserted_mark, failure_open,
                          failure_close, failure_code, failure_text, unchanged_line, unchanged_element, unchanged_end})
        EXPECT_EQ(widened(t.narrow), t.wide) << t.narrow;
    for (conversion_verdict v : {conversion_verdict::ready, conversion_verdict::would_retarget,
                                 conversion_verdict::already_configured, conversion_verdict::no_match,
                                 conversion_verdict::empty, conversion_verdict::too_large}) {
        labelled_line line = verdict_text(v);
        EXPECT_EQ(widened(line.before.narrow), line.before.wide);
        EXPECT_EQ(widened(line.after.narrow), line.after.wide);
    }
}

TEST(ReportTexts, VerdictsShowTheLabelWhereTheyNameAVersion)
{
    EXPECT_EQ(line_of(verdict_text(conversion_verdict::ready), "2022"), "\nProject is ready for Visual Studio 2022\n");
    EXPECT_EQ(line_of(verdict_text(conversion_verdict::would_retarget), "2026"),
              "\nProject would be retargeted to Visual Studio 2026\n");
    EXPECT_EQ(line_of(verdict_text(conversion_verdict::already_configured), "2010"),
              "Already configured for Visual Studio 2010\n");
    EXPECT_EQ(line_of(verdict_text(conversion_verdict::no_match), "2010"), "could not find a match\n");
    EXPECT_EQ(line_of(verdict_text(conversion_verdict::empty), "2010"), "the project file is empty\n");
    EXPECT_FALSE(verdict_text(conversion_verdict::too_large).shows_label);
}

TEST(ReportTexts, HeadingAndFailureLinesPutTheirValuesBetweenThePieces)
{
    std::string heading = std::string(heading_open.narrow) + "a.vcxproj" + heading_version.narrow + "2019" +
                          heading_close.narrow;
    EXPECT_EQ(heading, "[a.vcxproj]\nConfiguring project for Visual Studio 2019\n\n");
    std::string failure = std::string("open") + failure_open.narrow + "a.vcxproj" + failure_close.narrow +
                          line_end.narrow + failure_code.narrow + "2" + failure_text.narrow;
    EXPECT_EQ(failure, "open(a.vcxproj)\n   ^ERROR: 2, ");
}
