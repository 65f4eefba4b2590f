// The sheets a project imports and the nearest Directory.Build.props, on a
// tree of the test's own, natively and under Wine.

#include "cli/project_sheets.h"

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "support/scratch_tree.h"

namespace {

constexpr cli_version v2017{4}, v2026{7};

std::string import_of(std::string_view project)
{
    return "  <Import Project=\"" + std::string(project) + "\" />\r\n";
}

std::string project_importing(std::string_view imports)
{
    return "<Project DefaultTargets=\"Build\" ToolsVersion=\"17.0\">\r\n" + std::string(imports) + "</Project>\r\n";
}

// SDL's examples take toolset and SDK from examples/Examples.props.
const std::string examples_props =
    "<Project>\r\n  <PropertyGroup Label=\"Configuration\">\r\n"
    "    <PlatformToolset>$(DefaultPlatformToolset)</PlatformToolset>\r\n"
    "    <WindowsTargetPlatformVersion>10.0</WindowsTargetPlatformVersion>\r\n"
    "  </PropertyGroup>\r\n</Project>\r\n";
const std::string sdk_props =
    "<Project><PropertyGroup><WindowsTargetPlatformVersion>10.0.22621.0</WindowsTargetPlatformVersion>"
    "</PropertyGroup></Project>";

project_sheets sheets_of(const scratch_tree& tree, std::string_view project, std::string_view text,
                         cli_version target, bool through_solution = false, std::string_view solution_folder = {})
{
    project_sheets sheets;
    cli_target t{target, "10.0", {}};
    read_project_sheets(text, tree.path(project), through_solution, solution_folder, t, sheets);
    return sheets;
}

}  // namespace

TEST(ProjectSheets, ImportsAreFollowedWithTheKnownPropertiesPutIn)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    ASSERT_TRUE(tree.file("examples/Examples.props", examples_props));
    ASSERT_TRUE(tree.folder("examples/game"));
    struct row {
        const char* name;
        const char* import;
    };
    for (row r : {row{"relative", "..\\Examples.props"},
                  row{"this file's folder", "$(MSBuildThisFileDirectory)..\\Examples.props"},
                  row{"project folder", "$(MSBuildProjectDirectory)\\..\\Examples.props"},
                  row{"project dir", "$(ProjectDir)../Examples.props"}}) {
        SCOPED_TRACE(r.name);
        std::string text = project_importing(import_of(r.import));
        project_sheets sheets = sheets_of(tree, "examples/game/game.vcxproj", text, v2026);
        EXPECT_TRUE(sheets.imported.toolset);
        EXPECT_TRUE(sheets.imported.toolset_names_target);
        EXPECT_TRUE(sheets.imported.toolset_visual_studio);
        EXPECT_TRUE(sheets.imported.sdk);
        EXPECT_NE(sheets.toolset_sheet.find("Examples.props"), std::string::npos) << sheets.toolset_sheet;
        EXPECT_EQ(sheets.sdk_file, sheets.toolset_sheet);
    }
}

TEST(ProjectSheets, OtherPropertiesMissingFilesAndFoldersAreLeftAlone)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    ASSERT_TRUE(tree.file("a/Examples.props", examples_props));
    ASSERT_TRUE(tree.folder("a/folder.props"));
    std::string text = project_importing(
        import_of("$(VCTargetsPath)\\Microsoft.Cpp.Default.props") + import_of("$(UserRootDir)\\Examples.props") +
        import_of("$(SolutionDir)a/Examples.props") + import_of("gone.props") + import_of("folder.props") +
        import_of("Exam\tples.props"));
    // From the tree's root, "a/Examples.props" names the sheet: only a
    // $(SolutionDir) taken for the empty folder would reach it.
    current_folder in(tree.root);
    ASSERT_TRUE(in.changed);
    project_sheets sheets = sheets_of(tree, "a/a.vcxproj", text, v2026);
    EXPECT_FALSE(sheets.imported.toolset);
    EXPECT_FALSE(sheets.imported.sdk);

    // $(SolutionDir) is known for a project reached through a solution.
    project_sheets through = sheets_of(tree, "a/a.vcxproj", text, v2026, true, tree.root + native_path("/"));
    EXPECT_TRUE(through.imported.toolset);

#ifndef _WIN32
    // A FIFO named as a sheet is refused without waiting on it.
    ASSERT_EQ(mkfifo(tree.path("a/fifo.props").c_str(), 0600), 0);
    EXPECT_FALSE(sheets_of(tree, "a/a.vcxproj", project_importing(import_of("fifo.props")), v2026).imported.toolset);
#endif

    // Nothing behind the project's first zero byte.
    std::string cut = project_importing(std::string(1, '\0') + import_of("Examples.props"));
    EXPECT_FALSE(sheets_of(tree, "a/a.vcxproj", cut, v2026).imported.toolset);
}

TEST(ProjectSheets, ASheetNamingAnotherToolsetSaysSo)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    ASSERT_TRUE(tree.file("p/old.props", "<Project><PropertyGroup><PlatformToolset>v141</PlatformToolset>"
                                         "</PropertyGroup></Project>"));
    ASSERT_TRUE(tree.file("p/clang.props", "<Project><PropertyGroup><PlatformToolset>ClangCL</PlatformToolset>"
                                           "</PropertyGroup></Project>"));
    project_sheets old = sheets_of(tree, "p/p.vcxproj", project_importing(import_of("old.props")), v2026);
    EXPECT_TRUE(old.imported.toolset);
    EXPECT_FALSE(old.imported.toolset_names_target);
    EXPECT_TRUE(old.imported.toolset_visual_studio);
    EXPECT_TRUE(sheets_of(tree, "p/p.vcxproj", project_importing(import_of("old.props")), v2017)
                    .imported.toolset_names_target);
    project_sheets both =
        sheets_of(tree, "p/p.vcxproj", project_importing(import_of("old.props") + import_of("clang.props")), v2026);
    EXPECT_FALSE(both.imported.toolset_visual_studio);
    EXPECT_EQ(both.toolset_sheet, tree.path("p/old.props"));
}

TEST(DirectoryProps, TheNearestOneAboveTheProjectCounts)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    ASSERT_TRUE(tree.file("repo/Directory.Build.props", sdk_props));
    ASSERT_TRUE(tree.file("repo/src/lib/lib.vcxproj", ""));
    ASSERT_TRUE(tree.file("repo/other/Directory.Build.props", "<Project />"));
    ASSERT_TRUE(tree.file("repo/other/app/app.vcxproj", ""));
    cli_target target{v2026, "10.0", {}};

    project_sheets lib;
    read_directory_props(tree.path("repo/src/lib/lib.vcxproj"), target, lib);
    EXPECT_TRUE(lib.imported.sdk);
    EXPECT_EQ(lib.sdk_file, tree.path("repo/Directory.Build.props"));

    // A nearer one without the SDK hides the one further up, as in MSBuild.
    project_sheets app;
    read_directory_props(tree.path("repo/other/app/app.vcxproj"), target, app);
    EXPECT_FALSE(app.imported.sdk);

    // A relative project path is looked up from the current folder upward.
    current_folder in(tree.path("repo/src"));
    ASSERT_TRUE(in.changed);
    project_sheets relative;
    read_directory_props(native_path("lib/lib.vcxproj"), target, relative);
    EXPECT_TRUE(relative.imported.sdk);
    EXPECT_EQ(relative.sdk_file, native_path("../Directory.Build.props"));

    // Not read for what it holds when it is not a regular file.
    ASSERT_TRUE(tree.folder("dir/Directory.Build.props"));
    ASSERT_TRUE(tree.file("dir/p/p.vcxproj", ""));
    project_sheets folder;
    read_directory_props(tree.path("dir/p/p.vcxproj"), target, folder);
    EXPECT_FALSE(folder.imported.sdk);
}
