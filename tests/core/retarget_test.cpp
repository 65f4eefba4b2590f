#include "core/retarget.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/project_text.h"

namespace {

struct conversion {
    std::string text;
    std::vector<std::string> lines;  // as printed: "+ " before an insertion
    bool changed = false;
    bool overflow = false;
    std::size_t length = 0;  // as reported, which may not exceed the capacity
};

// Bytes behind the capacity, which the conversion must leave alone.
const std::string guard(64, '\xA5');

void collect(void* context, change_kind kind, std::string_view text)
{
    auto* lines = static_cast<std::vector<std::string>*>(context);
    lines->push_back((kind == change_kind::inserted ? "+ " : "") + std::string(text));
}

conversion convert(const std::string& input, int row, std::size_t capacity = 0)
{
    vs_version target = vs_version(row);  // a test's number for the row
    conversion c;
    std::size_t room = capacity ? capacity : input.size() + retarget_max_growth;
    std::string out = std::string(room, '\0') + guard;
    retarget_result r = retarget_text(input, out.data(), room, target, {collect, &c.lines});
    EXPECT_LE(r.length, room) << "reported past the capacity";
    EXPECT_TRUE(out.compare(room, guard.size(), guard) == 0) << "written past the capacity";
    c.text = out.substr(0, r.length < room ? r.length : room);
    c.length = r.length;
    c.changed = r.changed;
    c.overflow = r.overflow;
    return c;
}

const std::string v100 = toolset_element("v100");
const std::string v140 = toolset_element("v140");
const std::string v141 = toolset_element("v141");
const std::string v142 = toolset_element("v142");
const std::string head2010 = project_head("DefaultTargets=\"Build\" ToolsVersion=\"4.0\"");

}  // namespace

TEST(VersionTable, RowsHoldTheTextsOfEachVersion)
{
    EXPECT_EQ(version_table[0].toolset, v100);
    EXPECT_EQ(version_table[1].toolset, v140);
    EXPECT_EQ(version_table[2].toolset, v141);
    EXPECT_EQ(version_table[3].toolset, v142);
    EXPECT_EQ(version_table[0].tools_version, "ToolsVersion=\"4.0\"");
    EXPECT_EQ(version_table[1].tools_version, "ToolsVersion=\"14.0\"");
    EXPECT_EQ(version_table[2].tools_version, "ToolsVersion=\"15.0\"");
    EXPECT_EQ(version_table[3].tools_version, "ToolsVersion=\"15.0\"");
    EXPECT_EQ(project_anchor.size(), 31u);
}

TEST(Retarget, Project2010To2019ReplacesAttributeAndEveryElement)
{
    std::string tail = "</Project>\r\n";
    std::string input = head2010 + configuration_group(v100) + configuration_group(v100) + tail;
    conversion c = convert(input, 3);

    std::string expected = head2010 + configuration_group(v142) + configuration_group(v142) + tail;
    expected.replace(expected.find("ToolsVersion=\"4.0\""), 18, "ToolsVersion=\"15.0\"");
    EXPECT_EQ(c.text, expected);
    EXPECT_TRUE(c.changed);
    EXPECT_EQ(c.lines, (std::vector<std::string>{"ToolsVersion=\"4.0\"", v100, v100}));
}

TEST(Retarget, ProjectAlreadyAtTargetIsLeftAlone)
{
    std::string input = "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\">" + configuration_group(v140) + "</Project>";
    conversion c = convert(input, 1);
    EXPECT_FALSE(c.changed);
    EXPECT_TRUE(c.lines.empty());
    EXPECT_EQ(c.text, input);
    EXPECT_TRUE(names_target(input, vs_version(1)));
}

TEST(Retarget, SharedToolsVersionOf2017And2019IsAlwaysRewritten)
{
    std::string input = "<Project DefaultTargets=\"Build\" ToolsVersion=\"15.0\">" + configuration_group(v142) + "</Project>";
    for (int target : {2, 3}) {
        conversion c = convert(input, target);
        EXPECT_TRUE(c.changed) << target;
        ASSERT_FALSE(c.lines.empty()) << target;
        EXPECT_EQ(c.lines.front(), "ToolsVersion=\"15.0\"");
    }
    EXPECT_EQ(convert(input, 3).text, input);
}

TEST(Retarget, OnlyTheFirstToolsVersionOfTheFirstMatchingRowIsReplaced)
{
    std::string input = "a ToolsVersion=\"14.0\" b ToolsVersion=\"4.0\" c ToolsVersion=\"4.0\"";
    conversion c = convert(input, 2);
    EXPECT_EQ(c.text, "a ToolsVersion=\"14.0\" b ToolsVersion=\"15.0\" c ToolsVersion=\"4.0\"");
    EXPECT_EQ(c.lines, (std::vector<std::string>{"ToolsVersion=\"4.0\""}));
}

TEST(Insertion, MissingToolsVersionIsInsertedBehindTheAnchorWithItsSpaceRepeated)
{
    std::string input = "<Project DefaultTargets=\"Build\" xmlns=\"x\">" + configuration_group(v142) + "</Project>";
    conversion c = convert(input, 0);
    EXPECT_EQ(c.text, "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\" xmlns=\"x\">" + configuration_group(v100) + "</Project>");
    EXPECT_EQ(c.lines, (std::vector<std::string>{"+ ToolsVersion=\"4.0\"", v142}));
}

TEST(Insertion, KeepsTheWhiteSpaceKindThatFollowsTheAnchor)
{
    conversion c = convert("<Project DefaultTargets=\"Build\"\r\n  xmlns=\"x\">", 1);
    EXPECT_EQ(c.text, "<Project DefaultTargets=\"Build\"\rToolsVersion=\"14.0\"\r\n  xmlns=\"x\">");
}

TEST(Insertion, NeverFor2019)
{
    std::string input = "<Project DefaultTargets=\"Build\" xmlns=\"x\">" + configuration_group(v140) + "</Project>";
    conversion c = convert(input, 3);
    EXPECT_EQ(c.lines, (std::vector<std::string>{v140}));
    EXPECT_EQ(c.text.find("ToolsVersion"), std::string::npos);
}

TEST(Insertion, NothingWhenTheTargetAttributeIsAlreadyThere)
{
    std::string input = "<Project DefaultTargets=\"Build\" xmlns=\"x\"/> ToolsVersion=\"14.0\"";
    conversion c = convert(input, 1);
    EXPECT_FALSE(c.changed);
}

TEST(Insertion, NothingWithoutTheAnchorButToolsetsStillChange)
{
    std::string input = "<Project xmlns=\"x\">" + configuration_group(v100) + "</Project>";
    conversion c = convert(input, 1);
    EXPECT_EQ(c.text, "<Project xmlns=\"x\">" + configuration_group(v140) + "</Project>");
    EXPECT_EQ(c.lines, (std::vector<std::string>{v100}));
}

TEST(Insertion, ClosingBracketAfterAnchorGetsASpaceOfItsOwn)
{
    conversion c = convert("<Project DefaultTargets=\"Build\">" + configuration_group(v142) + "</Project>", 2);
    EXPECT_EQ(c.text, "<Project DefaultTargets=\"Build\" ToolsVersion=\"15.0\">" + configuration_group(v141) + "</Project>");
}

TEST(Insertion, AnchorAtTheVeryEndGetsASpaceAndNoStrayByte)
{
    conversion c = convert("<Project DefaultTargets=\"Build\"", 0);
    EXPECT_EQ(c.text, "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\"");
    EXPECT_EQ(c.text.find('\0'), std::string::npos);
}

TEST(Insertion, AnchorFollowedByAZeroByteKeepsTheZeroAndEverythingAfterIt)
{
    std::string input("<Project DefaultTargets=\"Build\"\0tail", 36);
    conversion c = convert(input, 0);
    EXPECT_EQ(c.text, std::string("<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\"\0tail", 55));
}

TEST(Insertion, UnknownToolsVersionInTheProjectElementIsNotDoubled)
{
    std::string input = "<Project DefaultTargets=\"Build\" ToolsVersion=\"12.0\" xmlns=\"x\">" + configuration_group(v140) + "</Project>";
    conversion c = convert(input, 0);
    EXPECT_EQ(c.text, "<Project DefaultTargets=\"Build\" ToolsVersion=\"12.0\" xmlns=\"x\">" + configuration_group(v100) + "</Project>");
    EXPECT_EQ(c.lines, (std::vector<std::string>{v140}));

    std::string spaced = "<Project DefaultTargets=\"Build\"\n ToolsVersion = '3.5'>";
    EXPECT_FALSE(convert(spaced, 1).changed);
}

TEST(Insertion, ToolsVersionOutsideTheProjectElementDoesNotPreventIt)
{
    std::string input = "<Project DefaultTargets=\"Build\" xmlns=\"x\"><!-- ToolsVersion=\"3.5\" --></Project>";
    conversion c = convert(input, 1);
    EXPECT_EQ(c.text, "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\" xmlns=\"x\"><!-- ToolsVersion=\"3.5\" --></Project>");
}

TEST(Toolsets, ReadPositionNeverMovesBack)
{
    // v100 is searched first; the v140 before its last element is then behind the read position.
    std::string input = configuration_group(v140) + configuration_group(v100) + configuration_group(v140);
    conversion c = convert(input, 3);
    EXPECT_EQ(c.text, configuration_group(v140) + configuration_group(v142) + configuration_group(v142));
    EXPECT_EQ(c.lines, (std::vector<std::string>{v100, v140}));
}

TEST(Toolsets, ElementsBeforeTheReplacedAttributeStayUnchanged)
{
    std::string input = configuration_group(v140) + "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\">" + configuration_group(v140);
    conversion c = convert(input, 3);
    EXPECT_EQ(c.text, configuration_group(v140) + "<Project DefaultTargets=\"Build\" ToolsVersion=\"15.0\">" + configuration_group(v142));
}

TEST(Toolsets, OtherCaseOrSpacingIsNotMatched)
{
    std::string input = "<PlatformToolset>V140</PlatformToolset><PlatformToolset> v140</PlatformToolset>";
    conversion c = convert(input, 3);
    EXPECT_FALSE(c.changed);
    EXPECT_FALSE(names_target(input, vs_version(3)));
}

TEST(Toolsets, ConversionTo2010ShortensTheAttributeByOneByte)
{
    std::string input = "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\">" + configuration_group(v140);
    conversion c = convert(input, 0);
    EXPECT_EQ(c.text.size(), input.size() - 1);
    EXPECT_EQ(c.text, "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\">" + configuration_group(v100));
}

TEST(ZeroBytes, EndTheSearchableTextButTheTailIsCopied)
{
    std::string input = configuration_group(v140) + std::string("\0", 1) + configuration_group(v140) + "\xff\xfe";
    conversion c = convert(input, 3);
    EXPECT_EQ(c.text, configuration_group(v142) + std::string("\0", 1) + configuration_group(v140) + "\xff\xfe");
    EXPECT_EQ(c.lines.size(), 1u);
}

TEST(ZeroBytes, Utf16ProjectMatchesNothing)
{
    std::string utf16;
    for (char ch : "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\">" + v100) {
        utf16 += ch;
        utf16 += '\0';
    }
    conversion c = convert("\xff\xfe" + utf16, 1);
    EXPECT_FALSE(c.changed);
    EXPECT_EQ(c.text, "\xff\xfe" + utf16);
    EXPECT_FALSE(names_target(utf16, vs_version(1)));
}

TEST(Overflow, ConvertedTextThatDoesNotFitIsFlagged)
{
    std::string input = "<Project DefaultTargets=\"Build\" xmlns=\"x\">";
    conversion exact = convert(input, 1, input.size() + 20);
    EXPECT_FALSE(exact.overflow);
    EXPECT_EQ(exact.length, input.size() + 20);
    EXPECT_EQ(exact.text, "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\" xmlns=\"x\">");

    // Every capacity short of the whole: flagged, and what is reported lies
    // within the room and is the start of the whole text (convert() also
    // checks the bytes behind the room).
    for (std::size_t room = 1; room < exact.length; ++room) {
        conversion c = convert(input, 1, room);
        EXPECT_TRUE(c.overflow) << room;
        EXPECT_LE(c.length, room) << room;
        EXPECT_EQ(c.text, exact.text.substr(0, c.length)) << room;
    }
}

TEST(Overflow, GrowthNeverExceedsTheDeclaredMaximum)
{
    for (const char* input : {"<Project DefaultTargets=\"Build\">", "<Project DefaultTargets=\"Build\"",
                              "ToolsVersion=\"4.0\"", "<Project DefaultTargets=\"Build\" x"})
        for (vs_version target{}; target < 4; ++target) {
            std::string text = input;
            EXPECT_FALSE(convert(text, target, text.size() + retarget_max_growth).overflow) << input << target;
        }
}

TEST(Verdict, NamesTargetByAttributeOrByElement)
{
    EXPECT_TRUE(names_target("x ToolsVersion=\"4.0\" y", vs_version(0)));
    EXPECT_TRUE(names_target(v141, vs_version(2)));
    EXPECT_FALSE(names_target(v141, vs_version(3)));
    EXPECT_FALSE(names_target(std::string("\0", 1) + v141, vs_version(2)));
    EXPECT_FALSE(names_target(v141, vs_version(7)));
}

TEST(Verdict, EmptyAndInvalidInputsChangeNothing)
{
    EXPECT_FALSE(convert("", 2).changed);
    std::string out(8, '\0');
    retarget_result r = retarget_text("abc", out.data(), out.size(), no_vs_version, {});
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(r.length, 0u);
}

// Texts that stand right against each other or against the point where the
// read position was left: each one is found only when the next search starts
// exactly where the previous text ended.

TEST(Adjacent, TwoElementsOfOneRowBackToBackAreBothReplaced)
{
    conversion c = convert(v140 + v140, 3);
    EXPECT_EQ(c.text, v142 + v142);
    EXPECT_EQ(c.lines, (std::vector<std::string>{v140, v140}));
}

TEST(Adjacent, ElementOfALaterRowRightBehindOneOfAnEarlierRowIsReplaced)
{
    conversion c = convert(v100 + v140 + v141, 3);
    EXPECT_EQ(c.text, v142 + v142 + v142);
    EXPECT_EQ(c.lines, (std::vector<std::string>{v100, v140, v141}));
}

TEST(Adjacent, ElementOfALaterRowRightInFrontOfOneOfAnEarlierRowStays)
{
    conversion c = convert(v141 + v140 + v100, 3);
    EXPECT_EQ(c.text, v141 + v140 + v142);
    EXPECT_EQ(c.lines, (std::vector<std::string>{v100}));
}

TEST(Adjacent, ElementRightBehindTheReplacedToolsVersionIsReplaced)
{
    std::string head = "<Project DefaultTargets=\"Build\" ";
    conversion c = convert(head + "ToolsVersion=\"14.0\"" + v140 + v100, 3);
    EXPECT_EQ(c.text, head + "ToolsVersion=\"15.0\"" + v140 + v142);
    EXPECT_EQ(c.lines, (std::vector<std::string>{"ToolsVersion=\"14.0\"", v100}));

    conversion to_2015 = convert(head + "ToolsVersion=\"4.0\"" + v100, 1);
    EXPECT_EQ(to_2015.text, head + "ToolsVersion=\"14.0\"" + v140);
}

TEST(Adjacent, ElementRightBehindTheInsertionPointIsReplaced)
{
    std::string anchor(project_anchor);
    conversion c = convert(anchor + v140 + v141, 0);
    EXPECT_EQ(c.text, anchor + " ToolsVersion=\"4.0\"" + v100 + v100);
    EXPECT_EQ(c.lines, (std::vector<std::string>{"+ ToolsVersion=\"4.0\"", v140, v141}));
}

TEST(Adjacent, TableToolsVersionRightBehindTheAnchorIsReplacedNotDoubled)
{
    std::string anchor(project_anchor);
    conversion c = convert(anchor + "ToolsVersion=\"14.0\"" + v140, 0);
    EXPECT_EQ(c.text, anchor + "ToolsVersion=\"4.0\"" + v100);
    EXPECT_EQ(c.lines, (std::vector<std::string>{"ToolsVersion=\"14.0\"", v140}));

    conversion already = convert(anchor + "ToolsVersion=\"4.0\"" + v140, 0);
    EXPECT_EQ(already.text, anchor + "ToolsVersion=\"4.0\"" + v100);
    EXPECT_EQ(already.lines, (std::vector<std::string>{v140}));
}

// The ToolsVersion edit depends on the whole text; the toolsets follow the
// edit that the whole text calls for, wherever its parts stand.

TEST(WholeText, ToolsVersionOfAnEarlierRowFurtherDownMovesTheReadPosition)
{
    std::string input = "ToolsVersion=\"14.0\"" + configuration_group(v140) + "ToolsVersion=\"4.0\"" + configuration_group(v140);
    conversion c = convert(input, 3);
    EXPECT_EQ(c.text, "ToolsVersion=\"14.0\"" + configuration_group(v140) + "ToolsVersion=\"15.0\"" + configuration_group(v142));
    EXPECT_EQ(c.lines, (std::vector<std::string>{"ToolsVersion=\"4.0\"", v140}));
}

TEST(WholeText, TargetToolsVersionFurtherDownPreventsTheInsertion)
{
    std::string anchor(project_anchor);
    std::string input = configuration_group(v100) + anchor + " x=\"1\">" + configuration_group(v100) + "<!-- ToolsVersion=\"14.0\" -->";
    conversion c = convert(input, 1);
    EXPECT_EQ(c.text, configuration_group(v140) + anchor + " x=\"1\">" + configuration_group(v140) + "<!-- ToolsVersion=\"14.0\" -->");
    EXPECT_EQ(c.lines, (std::vector<std::string>{v100, v100}));
}

TEST(WholeText, AnchorFurtherDownLeavesTheElementsInFrontOfItUnchanged)
{
    std::string anchor(project_anchor);
    std::string input = configuration_group(v140) + anchor + " x=\"1\">" + configuration_group(v140);
    conversion c = convert(input, 0);
    EXPECT_EQ(c.text, configuration_group(v140) + anchor + " ToolsVersion=\"4.0\" x=\"1\">" + configuration_group(v100));
}

TEST(WholeText, ElementsOfEveryOrderKeepTheRowOrderOfTheSearches)
{
    // Rows searched for 2019: v100, then v140 from behind the last v100, then v141.
    std::string input = configuration_group(v141) + configuration_group(v140) + configuration_group(v100) + configuration_group(v141) + configuration_group(v140) + configuration_group(v141) +
                        configuration_group(v100) + configuration_group(v141) + configuration_group(v140) + configuration_group(v140) + configuration_group(v141);
    conversion c = convert(input, 3);
    EXPECT_EQ(c.text, configuration_group(v141) + configuration_group(v140) + configuration_group(v142) + configuration_group(v141) + configuration_group(v140) + configuration_group(v141) +
                          configuration_group(v142) + configuration_group(v141) + configuration_group(v142) + configuration_group(v142) + configuration_group(v142));
    EXPECT_EQ(c.lines, (std::vector<std::string>{v100, v100, v140, v140, v141}));
}

TEST(WholeText, LongTextsAreConvertedThroughout)
{
    std::string filler(5000, 'x');
    std::string input = "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\">";
    std::string expected = "<Project DefaultTargets=\"Build\" ToolsVersion=\"15.0\">";
    for (int i = 0; i < 40; ++i) {
        filler[static_cast<std::size_t>(i) * 97 % filler.size()] = 'T';
        input += filler + v140;
        expected += filler + v142;
    }
    input += configuration_group(v141) + std::string("\0", 1) + configuration_group(v140);
    expected += configuration_group(v142) + std::string("\0", 1) + configuration_group(v140);
    conversion c = convert(input, 3);
    EXPECT_TRUE(c.text == expected);
    EXPECT_EQ(c.lines.size(), 42u);
}

TEST(Overflow, TheOutputIsCutWhereAChangeBeginsOrEnds)
{
    std::string input = "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\">" + v140 + "abc" + v140 + "xyz";
    conversion full = convert(input, 0);
    std::size_t attribute = input.find("ToolsVersion");
    std::size_t first = full.text.find(v100);
    std::size_t second = full.text.rfind(v100);
    struct cut { std::size_t capacity, length; };
    for (cut expected : {cut{attribute - 1, 0}, cut{attribute, attribute}, cut{attribute + 17, attribute}, cut{attribute + 18, attribute + 18},
                         cut{first + 38, first}, cut{first + 39, first + 39}, cut{second + 10, second},
                         cut{full.text.size() - 1, second + 39}}) {
        conversion c = convert(input, 0, expected.capacity);
        EXPECT_TRUE(c.overflow) << expected.capacity;
        EXPECT_EQ(c.text, full.text.substr(0, expected.length)) << expected.capacity;
    }
}

// find_edits on its own: every edit with its offset, old length, new text,
// reported text and kind, in the order told.
namespace {

struct found_edit {
    std::size_t at = 0;
    std::size_t length = 0;
    std::string text;
    std::string reported;
    change_kind kind = change_kind::replaced;

    bool operator==(const found_edit&) const = default;
};

std::ostream& operator<<(std::ostream& out, const found_edit& e)
{
    return out << "{at " << e.at << ", length " << e.length << ", \"" << e.text << "\", \"" << e.reported << "\", "
               << (e.kind == change_kind::inserted ? "inserted" : "replaced") << "}";
}

void collect_edit(void* context, const text_edit& e)
{
    found_edit f{e.at, e.length, std::string(e.text), std::string(e.reported), e.kind};
    for (std::size_t i = 0; i < e.pieces.count; ++i) {
        f.text += e.pieces.piece[i];
        if (i >= e.reported_from && i < e.reported_to)
            f.reported += e.pieces.piece[i];
    }
    static_cast<std::vector<found_edit>*>(context)->push_back(f);
}

const std::string anchor = "<Project DefaultTargets=\"Build\"";  // 31 bytes
const std::string tv4 = "ToolsVersion=\"4.0\"";                  // 18 bytes
const std::string tv14 = "ToolsVersion=\"14.0\"";                // 19 bytes, as are the next two
const std::string tv15 = "ToolsVersion=\"15.0\"";

found_edit replaced(std::size_t at, const std::string& old_text, const std::string& new_text)
{
    return {at, old_text.size(), new_text, old_text, change_kind::replaced};
}

found_edit inserted(std::size_t at, const std::string& separator, const std::string& attribute)
{
    return {at, 0, separator + attribute, attribute, change_kind::inserted};
}

struct edits_case {
    const char* name;
    std::string input;
    int target;
    std::vector<found_edit> edits;
    bool names_target;
};

}  // namespace

TEST(FindEdits, TellsEachEditWithItsPlaceAndTextsInFileOrder)
{
    // Toolset elements are 39 bytes long.
    const edits_case cases[] = {
        {"attribute and element", tv14 + v140, 3, {replaced(0, tv14, tv15), replaced(19, v140, v142)}, false},
        {"other versions and spellings stay", toolset_element("v110") + toolset_element("V140") +
             toolset_element("v141_xp") + toolset_element(" v140") + "<PlatformToolset>v140</platformtoolset>",
         3, {}, false},
        {"conditional element stays", conditional_toolset_element("v140") + v141, 3,
         {replaced(conditional_toolset_element("v140").size(), v141, v142)}, false},
        {"no ToolsVersion and no anchor", "<Project>" + v100, 1, {replaced(9, v100, v140)}, false},
        {"insertion repeats a space", anchor + " xmlns=\"x\">" + v142, 0,
         {inserted(31, " ", tv4), replaced(42, v142, v100)}, false},
        {"insertion repeats a tab", anchor + "\txmlns=\"x\">", 1, {inserted(31, "\t", tv14)}, false},
        {"insertion repeats the CR of a line end", anchor + "\r\n  xmlns=\"x\">", 2, {inserted(31, "\r", tv15)},
         false},
        {"insertion before '>' gets a space", anchor + ">" + v140, 0,
         {inserted(31, " ", tv4), replaced(32, v140, v100)}, false},
        {"anchor at the very end", "x" + anchor, 0, {inserted(32, " ", tv4)}, false},
        {"anchor right before a zero byte", anchor + std::string("\0\t", 2), 1, {inserted(31, " ", tv14)}, false},
        {"never inserted for 2019", anchor + ">", 3, {}, false},
        {"target's attribute prevents the insertion", anchor + ">" + tv4 + v140, 0, {replaced(50, v140, v100)},
         true},
        {"zero byte ends the search", tv14 + v140 + std::string("\0", 1) + tv4 + v140 + v142, 3,
         {replaced(0, tv14, tv15), replaced(19, v140, v142)}, false},
        {"element at the very end", "abc" + v141, 1, {replaced(3, v141, v140)}, false},
        {"repeated elements of one row", v140 + v140 + "x" + v140, 0,
         {replaced(0, v140, v100), replaced(39, v140, v100), replaced(79, v140, v100)}, false},
        {"a later row behind an earlier one", v100 + v140 + v100 + v141, 3,
         {replaced(0, v100, v142), replaced(78, v100, v142), replaced(117, v141, v142)}, false},
        {"a later row in front of an earlier one stays", v141 + v140 + v100, 3, {replaced(78, v100, v142)}, false},
        {"first row's attribute wins, wherever it stands", v140 + tv14 + v140 + tv4 + v140, 3,
         {replaced(97, tv4, tv15), replaced(115, v140, v142)}, false},
        {"shared attribute of 2017 and 2019", tv15 + v142, 3, {replaced(0, tv15, tv15)}, true},
        {"already at the target", tv14 + v140, 1, {}, true},
        {"target named by its element alone", v100 + v142, 3, {replaced(0, v100, v142)}, true},
        {"empty", "", 0, {}, false},
        {"invalid target", tv14 + v140, 4, {}, false},
    };
    for (const edits_case& c : cases) {
        std::vector<found_edit> edits;
        found_edits found = find_edits(c.input, vs_version(c.target), collect_edit, &edits);
        EXPECT_EQ(edits, c.edits) << c.name;
        EXPECT_EQ(found.count, edits.size()) << c.name;
        EXPECT_EQ(found.names_target, c.names_target) << c.name;
        EXPECT_EQ(names_target(c.input, vs_version(c.target)), c.names_target) << c.name;
    }
}

TEST(FindEdits, InsertionComesInPiecesOfWhichOnlyTheAttributeIsReported)
{
    std::string input = anchor + "\txmlns=\"x\">";
    std::vector<text_edit> edits;
    find_edits(input, vs_version(0), [](void* context, const text_edit& e) { static_cast<std::vector<text_edit>*>(context)->push_back(e); },
               &edits);
    ASSERT_EQ(edits.size(), 1u);
    const text_edit& e = edits[0];
    EXPECT_TRUE(e.text.empty());
    EXPECT_TRUE(e.reported.empty());
    ASSERT_EQ(e.pieces.count, 2u);
    EXPECT_EQ(e.pieces.piece[0].data(), input.data() + 31) << "the separator is a view of the input";
    EXPECT_EQ(e.pieces.piece[1], tv4);
    EXPECT_EQ(e.reported_from, 1u);
    EXPECT_EQ(e.reported_to, 2u);
}

// Hundreds of elements: more than the rules keep the places of in their
// first pass, so the later ones are found by searching again. Converted to
// 2019; the elements stand back to back, 39 bytes each, with `middle` in
// front of element `middle_at`.
TEST(FindEdits, ManyElementsAreEachToldOnceInFileOrder)
{
    struct run {
        std::size_t count;
        std::string element;
    };
    struct many_case {
        const char* name;
        std::vector<run> runs;
        std::size_t middle_at;                // element index
        std::string middle;                   // the 2010 ToolsVersion, or empty
        std::vector<std::size_t> replaced;    // indexes of the elements replaced, in order
    };
    auto indexes = [](std::size_t from, std::size_t to, std::vector<std::size_t> more = {}) {
        std::vector<std::size_t> all;
        for (std::size_t i = from; i < to; ++i)
            all.push_back(i);
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const many_case cases[] = {
        {"one row throughout", {{600, v140}}, 0, "", indexes(0, 600)},
        {"an earlier row far down", {{300, v140}, {1, v100}, {299, v141}}, 0, "", indexes(300, 600)},
        {"rows in turn", {{300, v140}, {1, v100}, {299, v141}, {1, v140}, {1, v141}}, 0, "", {300, 600, 601}},
        {"attribute far down", {{300, v140}, {2, v140}}, 300, tv4, {300, 301}},
        {"attribute among the elements kept", {{100, v140}, {400, v140}}, 100, tv4, indexes(100, 500)},
    };
    for (const many_case& c : cases) {
        std::string input;
        std::vector<std::size_t> offsets;
        std::vector<std::string> elements;
        for (const run& r : c.runs)
            for (std::size_t i = 0; i < r.count; ++i) {
                if (offsets.size() == c.middle_at)
                    input += c.middle;
                offsets.push_back(input.size());
                elements.push_back(r.element);
                input += r.element;
            }
        std::vector<found_edit> expected;
        if (!c.middle.empty())
            expected.push_back(replaced(offsets[c.middle_at] - c.middle.size(), c.middle, tv15));
        for (std::size_t i : c.replaced)
            expected.push_back(replaced(offsets[i], elements[i], v142));
        std::vector<found_edit> edits;
        find_edits(input, vs_version(3), collect_edit, &edits);
        EXPECT_EQ(edits, expected) << c.name;
    }
}
