// The names of new files beside a project: what they carry, how long they
// get, and which names the leftover sweep takes for whose.

#include "cli/new_file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint64_t token = 0x00ff00ff12345678ull;

}  // namespace

TEST(NewFileName, CarriesTheProjectTheProcessAndTheRandomPart)
{
    EXPECT_EQ(new_file_name("app.vcxproj", 1, token), ".app.vcxproj.projport-1-00ff00ff12345678.tmp");
    EXPECT_EQ(backup_file_name("app.vcxproj", 4321, token), ".app.vcxproj.projport-4321-00ff00ff12345678.old.tmp");
    EXPECT_NE(new_file_name("app.vcxproj", 1, token), new_file_name("app.vcxproj", 1, token + 1));
}

TEST(NewFileName, EachNameIsReadBackAsItWasMade)
{
    struct made {
        std::string name;
        long pid;
        std::uint64_t token;
        bool backup;
    };
    const made cases[] = {
        {new_file_name("a.vcxproj", 1, 0), 1, 0, false},
        {new_file_name("My Game.vcxproj", 999999999, ~0ull), 999999999, ~0ull, false},
        {backup_file_name("x.projport-7.tmp.vcxproj", 7, token), 7, token, true},
    };
    for (const made& c : cases) {
        new_file_name_parts parts;
        ASSERT_TRUE(parse_new_file_name(c.name, parts)) << c.name;
        EXPECT_TRUE(parts.has_token) << c.name;
        EXPECT_EQ(parts.pid, c.pid) << c.name;
        EXPECT_EQ(parts.token, c.token) << c.name;
        EXPECT_EQ(parts.backup, c.backup) << c.name;
    }
}

// What earlier versions left: no random part, read as theirs.
TEST(NewFileName, TheNamesOfEarlierVersionsAreRecognised)
{
    new_file_name_parts parts;
    ASSERT_TRUE(parse_new_file_name(".app.vcxproj.projport-1234.tmp", parts));
    EXPECT_FALSE(parts.has_token);
    EXPECT_EQ(parts.pid, 1234);
    EXPECT_EQ(parts.project_part, "app.vcxproj");
    EXPECT_TRUE(is_new_file_of(parts, "app.vcxproj"));
    ASSERT_TRUE(parse_new_file_name(".app.vcxproj.projport-1234.old.tmp", parts));
    EXPECT_TRUE(parts.backup);
}

TEST(NewFileName, OtherNamesAreNotTaken)
{
    for (const char* name : {"app.vcxproj", ".app.vcxproj", ".app.vcxproj.projport-.tmp", ".projport-1.tmp",
                             ".a.projport-12x.tmp", ".a.projport-1-0123.tmp", ".a.projport-1-00FF00FF12345678.tmp",
                             ".a.projport-1-00ff00ff12345678x.tmp", ".a.projport-1234567890.tmp", ".a.projport-1.tmp.bak",
                             ".a.projport--00ff00ff12345678.tmp"}) {
        new_file_name_parts parts;
        EXPECT_FALSE(parse_new_file_name(name, parts)) << name;
    }
}

// Near the longest name a folder entry may have, the project's part is cut
// (never inside a character) so that the new file's name still fits, and
// the cut name is still known as that project's.
TEST(NewFileName, ALongProjectNameIsCutToFit)
{
    const std::string umlaut = "\xC3\xBC";
    for (std::size_t length : {100u, 200u, 215u, 234u, 250u, 255u}) {
        for (const std::string& unit : {std::string("n"), umlaut}) {
            std::string project;
            while (project.size() + unit.size() <= length - 8)
                project += unit;
            project += ".vcxproj";
            std::string name = backup_file_name(project, 999999999, ~0ull);
            EXPECT_LE(name.size(), longest_file_name) << project.size();
            new_file_name_parts parts;
            ASSERT_TRUE(parse_new_file_name(name, parts)) << project.size();
            EXPECT_TRUE(is_new_file_of(parts, project)) << project.size();
            EXPECT_EQ(project.compare(0, parts.project_part.size(), parts.project_part), 0);
            // The cut part ends on a whole character.
            EXPECT_NE(static_cast<unsigned char>(project[parts.project_part.size()]) & 0xC0, 0x80u) << project.size();
            EXPECT_FALSE(is_new_file_of(parts, project + "x") && parts.project_part == project) << project.size();
        }
    }
    EXPECT_EQ(new_file_project_part("short.vcxproj"), "short.vcxproj");
}
