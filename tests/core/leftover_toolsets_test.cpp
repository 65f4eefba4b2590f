#include "core/unchanged_toolsets.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/project_text.h"

namespace {

struct found_element {
    std::size_t line;
    std::string element;
    bool operator==(const found_element&) const = default;
};

std::ostream& operator<<(std::ostream& out, const found_element& e)
{
    return out << "line " << e.line << ": " << e.element;
}

std::vector<found_element> leftovers(std::string_view text, std::string_view toolset, std::string_view xp = {})
{
    std::vector<found_element> found;
    struct context {
        std::string_view text;
        std::vector<found_element>* found;
    } c{text, &found};
    std::size_t count = find_unchanged_toolsets(
        text, toolset, xp,
        [](void* context_pointer, const unchanged_toolset& e) {
            auto& ctx = *static_cast<context*>(context_pointer);
            // The offset is where the element stands in the text, and the
            // element is a view of it.
            EXPECT_EQ(e.element.data(), ctx.text.data() + e.offset);
            ctx.found->push_back({e.line, std::string(e.element)});
        },
        &c);
    EXPECT_EQ(count, found.size());
    return found;
}

std::string element(std::string_view value)
{
    return toolset_element(value);
}

}  // namespace

TEST(LeftoverToolsets, ToolsetsOfOtherVersionsAreListedWithTheirLines)
{
    std::string text = "<Project>\r\n" + element("v110") + "\r\n\r\n  " + element("V140") + "\n" +
                       element("v141_xp") + element(" v140 ") + "\r\n" + element("v143") + "\r\n</Project>";
    std::vector<found_element> expected = {
        {2, element("v110")}, {4, element("V140")}, {5, element("v141_xp")}, {5, element(" v140 ")}, {6, element("v143")}};
    EXPECT_EQ(leftovers(text, "v142"), expected);
}

TEST(LeftoverToolsets, TheTargetsToolsetAndXpVariantInAnyCaseAreNotListed)
{
    std::string text = element("v140") + "\n" + element(" V141 ") + "\n" + element("v141_XP") + "\n" +
                       element("v140_xp") + "\n";
    EXPECT_EQ(leftovers(text, "v141", "v141_xp"),
              (std::vector<found_element>{{1, element("v140")}, {4, element("v140_xp")}}));
    EXPECT_EQ(leftovers(text, "v141"),
              (std::vector<found_element>{{1, element("v140")}, {3, element("v141_XP")}, {4, element("v140_xp")}}));
    EXPECT_EQ(leftovers(text, "v140", "v140_xp"),
              (std::vector<found_element>{{2, element(" V141 ")}, {3, element("v141_XP")}}));
}

TEST(LeftoverToolsets, ValuesThatNameNoVersionAreNotListed)
{
    std::string text = element("$(DefaultPlatformToolset)") + element("WindowsKernelModeDriver10.0") + element("v1") +
                       element("vx40") + element("") + element("llvm") + element("ClangCL") + element("v4x");
    EXPECT_TRUE(leftovers(text, "v142").empty());
    EXPECT_EQ(leftovers(element("v90") + element("V99x"), "v142").size(), 2u);
}

TEST(LeftoverToolsets, ElementsWithAttributesAreListedTheirConditionsHoldingAMoreThanSign)
{
    std::string conditional = conditional_toolset_element("v143");
    std::string quoted = "<PlatformToolset\r\n  Label='a>b' Condition=\"'x'=='>'\">v110</PlatformToolset>";
    std::string text = conditional + "\n" + quoted + "\n" + "<PlatformToolset\t>v120</PlatformToolset>";
    EXPECT_EQ(leftovers(text, "v100"), (std::vector<found_element>{{1, conditional}, {2, quoted},
                                                                    {4, "<PlatformToolset\t>v120</PlatformToolset>"}}));
    EXPECT_EQ(leftovers(text, "v143"), (std::vector<found_element>{{2, quoted}, {4, "<PlatformToolset\t>v120</PlatformToolset>"}}));
}

TEST(LeftoverToolsets, OtherNamesAndBrokenElementsAreNotTakenForOne)
{
    EXPECT_TRUE(leftovers("<PlatformToolset>v110", "v142").empty());
    EXPECT_TRUE(leftovers("<PlatformToolsetX>v110</PlatformToolset>", "v142").empty());
    EXPECT_TRUE(leftovers("<PlatformToolset/>v110</PlatformToolset>", "v142").empty());
    EXPECT_TRUE(leftovers("<PlatformToolset>v110</PlatformToolset >", "v142").empty());
    EXPECT_TRUE(leftovers("<PlatformToolset a='>v110</PlatformToolset>", "v142").empty());
    std::string text = "<PlatformToolset><!-- v110 -->\n" + element("v120");
    EXPECT_EQ(leftovers(text, "v142"), (std::vector<found_element>{{2, element("v120")}}));
}

TEST(LeftoverToolsets, ManyStartTagsWithoutEndsThenOneWholeElement)
{
    std::string text;
    for (int i = 0; i < 48000; ++i)
        text += "<PlatformToolset>v110\n";
    text += element("v110");
    EXPECT_EQ(leftovers(text, "v142"), (std::vector<found_element>{{48001, element("v110")}}));
}

// The rules see the text up to its first zero byte, and so does the listing.
TEST(LeftoverToolsets, ElementsBehindAZeroByteAreNotSeen)
{
    std::string text = element("v120") + "\n" + '\0' + "\n" + element("v110");
    EXPECT_EQ(leftovers(text, "v100"), (std::vector<found_element>{{1, element("v120")}}));
    EXPECT_TRUE(leftovers(std::string(1, '\0') + element("v110"), "v100").empty());
}
