#include "convert/leftover_toolsets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct found_element {
    std::size_t line;
    std::string element;
    bool operator==(const found_element&) const = default;
};

// The toolsets of projport.exe's rows, by row.
constexpr std::string_view toolsets[] = {"v100", "v140", "v141", "v142"};

std::vector<found_element> leftovers(std::string_view text, int target, std::string_view xp_toolset = {})
{
    std::vector<found_element> found;
    std::size_t count = find_leftover_toolsets(
        text, toolsets[target], xp_toolset,
        [](void* context, const leftover_toolset& e) {
            static_cast<std::vector<found_element>*>(context)->push_back({e.line, std::string(e.element)});
        },
        &found);
    EXPECT_EQ(count, found.size());
    return found;
}

std::string element(std::string_view value)
{
    return "<PlatformToolset>" + std::string(value) + "</PlatformToolset>";
}

}  // namespace

TEST(LeftoverToolsets, VersionsOutsideTheTableAreListedWithTheirLines)
{
    std::string text = "<Project>\r\n" + element("v110") + "\r\n\r\n  " + element("V140") + "\n" +
                       element("v141_xp") + element(" v140 ") + "\r\n" + element("v143") + "\r\n</Project>";
    std::vector<found_element> expected = {
        {2, element("v110")}, {4, element("V140")}, {5, element("v141_xp")}, {5, element(" v140 ")}, {6, element("v143")}};
    EXPECT_EQ(leftovers(text, 3), expected);
}

TEST(LeftoverToolsets, TheTargetsOwnElementIsNotListedButAnotherTableRowIs)
{
    std::string text = element("v140") + "\n" + element("v142") + "\n";
    EXPECT_EQ(leftovers(text, 3), (std::vector<found_element>{{1, element("v140")}}));
    EXPECT_EQ(leftovers(text, 1), (std::vector<found_element>{{2, element("v142")}}));
}

TEST(LeftoverToolsets, ValuesThatNameNoVersionAreNotListed)
{
    std::string text = element("$(DefaultPlatformToolset)") + element("WindowsKernelModeDriver10.0") + element("v1") +
                       element("vx40") + element("") + element("llvm") + element("ClangCL");
    EXPECT_TRUE(leftovers(text, 3).empty());
}

TEST(LeftoverToolsets, AnUnclosedOrMarkupHoldingElementIsNotTakenForOne)
{
    EXPECT_TRUE(leftovers("<PlatformToolset>v110", 3).empty());
    std::string text = "<PlatformToolset><!-- v110 -->\n" + element("v120");
    EXPECT_EQ(leftovers(text, 3), (std::vector<found_element>{{2, element("v120")}}));
}

TEST(LeftoverToolsets, ElementsBehindAZeroByteCountToo)
{
    std::string text = std::string("a\n") + '\0' + "\n" + element("v110");
    EXPECT_EQ(leftovers(text, 0), (std::vector<found_element>{{3, element("v110")}}));
}
