#include "app/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

struct parsed {
    bool conversion;
    conversion_request request;
};

parsed parse(std::initializer_list<const wchar_t*> words)
{
    std::vector<wchar_t*> arguments;
    for (const wchar_t* word : words)
        arguments.push_back(const_cast<wchar_t*>(word));
    parsed p{};
    p.conversion = parse_command_line(static_cast<int>(arguments.size()), arguments.data(), p.request);
    return p;
}

}  // namespace

TEST(CommandLine, VersionIsRecognisedByItsFirstFourCharacters)
{
    EXPECT_EQ(match_version(L"2010"), 0);
    EXPECT_EQ(match_version(L"2015"), 1);
    EXPECT_EQ(match_version(L"2017"), 2);
    EXPECT_EQ(match_version(L"2019"), 3);
    EXPECT_EQ(match_version(L"2019abc"), 3);
    EXPECT_EQ(match_version(L"2018"), -1);
    EXPECT_EQ(match_version(L"201"), -1);
    EXPECT_EQ(match_version(L""), -1);
    EXPECT_EQ(match_version(L"-s"), -1);
    EXPECT_EQ(match_version(nullptr), -1);
}

TEST(CommandLine, ConversionNeedsAVersionAndAPath)
{
    parsed p = parse({L"projport.exe", L"2019abc", L"C:\\a b\\x.vcxproj"});
    ASSERT_TRUE(p.conversion);
    EXPECT_EQ(p.request.version, 3);
    EXPECT_STREQ(p.request.path, L"C:\\a b\\x.vcxproj");
    EXPECT_FALSE(p.request.attach);

    EXPECT_FALSE(parse({L"projport.exe"}).conversion);
    EXPECT_FALSE(parse({L"projport.exe", L"2019"}).conversion);
    EXPECT_FALSE(parse({L"projport.exe", L"2020", L"x.vcxproj"}).conversion);
    EXPECT_FALSE(parse({L"projport.exe", L"", L"x.vcxproj"}).conversion);
    EXPECT_FALSE(parse({L"projport.exe", L"-s", L"2019", L"x.vcxproj"}).conversion);
    conversion_request request;
    EXPECT_FALSE(parse_command_line(3, nullptr, request));
}

TEST(CommandLine, SwitchIsOnlyTheThirdArgumentAndOnlyItsFirstTwoCharacters)
{
    for (const wchar_t* on : {L"-s", L"-silent", L"-sx"})
        EXPECT_TRUE(parse({L"p", L"2010", L"x", on}).request.attach) << on;
    for (const wchar_t* off : {L"-S", L"-", L"", L"s", L"/s"})
        EXPECT_FALSE(parse({L"p", L"2010", L"x", off}).request.attach) << off;

    parsed second = parse({L"p", L"2010", L"-s"});
    ASSERT_TRUE(second.conversion);
    EXPECT_STREQ(second.request.path, L"-s");
    EXPECT_FALSE(second.request.attach);

    parsed extra = parse({L"p", L"2015", L"x", L"-s", L"more", L"args"});
    EXPECT_TRUE(extra.conversion);
    EXPECT_TRUE(extra.request.attach);
    EXPECT_EQ(extra.request.version, 1);
}
