#include "project_generator.h"

#include <string_view>

namespace {

constexpr std::string_view configurations[] = {"Debug|Win32", "Release|Win32", "Debug|x64", "Release|x64"};

constexpr std::string_view head =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\" "
    "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n";

// Names of source files, some with the letters the searches look for.
constexpr std::string_view unit_names[] = {"main_window", "event_queue", "parser", "config", "view_model",
                                           "render_target", "file_io", "driver", "string_table", "archive",
                                           "network", "timer"};

constexpr std::string_view tail =
    "  <Import Project=\"$(VCTargetsPath)\\Microsoft.Cpp.targets\" />\r\n"
    "  <ImportGroup Label=\"ExtensionTargets\">\r\n"
    "  </ImportGroup>\r\n"
    "</Project>\r\n";

std::string condition(std::string_view configuration)
{
    return "Condition=\"'$(Configuration)|$(Platform)'=='" + std::string(configuration) + "'\"";
}

void append_configurations(std::string& out)
{
    out += "  <ItemGroup Label=\"ProjectConfigurations\">\r\n";
    for (std::string_view c : configurations) {
        std::string_view name = c.substr(0, c.find('|'));
        std::string_view platform = c.substr(c.find('|') + 1);
        out += "    <ProjectConfiguration Include=\"" + std::string(c) + "\">\r\n";
        out += "      <Configuration>" + std::string(name) + "</Configuration>\r\n";
        out += "      <Platform>" + std::string(platform) + "</Platform>\r\n";
        out += "    </ProjectConfiguration>\r\n";
    }
    out += "  </ItemGroup>\r\n"
           "  <PropertyGroup Label=\"Globals\">\r\n"
           "    <ProjectGuid>{6C1F6F5E-2B7A-4F0E-9A55-3D2B9C1E7A40}</ProjectGuid>\r\n"
           "    <Keyword>Win32Proj</Keyword>\r\n"
           "    <RootNamespace>generated</RootNamespace>\r\n"
           "    <WindowsTargetPlatformVersion>8.1</WindowsTargetPlatformVersion>\r\n"
           "  </PropertyGroup>\r\n"
           "  <Import Project=\"$(VCTargetsPath)\\Microsoft.Cpp.Default.props\" />\r\n";
}

void append_toolset_group(std::string& out, std::string_view configuration, std::string_view label)
{
    bool debug = configuration.starts_with("Debug");
    out += "  <PropertyGroup " + condition(configuration) + " Label=\"" + std::string(label) + "\">\r\n";
    out += "    <ConfigurationType>Application</ConfigurationType>\r\n";
    out += debug ? "    <UseDebugLibraries>true</UseDebugLibraries>\r\n"
                 : "    <UseDebugLibraries>false</UseDebugLibraries>\r\n"
                   "    <WholeProgramOptimization>true</WholeProgramOptimization>\r\n";
    out += "    <PlatformToolset>v140</PlatformToolset>\r\n";
    out += "    <CharacterSet>Unicode</CharacterSet>\r\n";
    out += "  </PropertyGroup>\r\n";
}

void append_definitions(std::string& out)
{
    for (std::string_view c : configurations) {
        bool debug = c.starts_with("Debug");
        out += "  <ItemDefinitionGroup " + condition(c) + ">\r\n"
               "    <ClCompile>\r\n"
               "      <PrecompiledHeader>Use</PrecompiledHeader>\r\n"
               "      <WarningLevel>Level3</WarningLevel>\r\n";
        out += debug ? "      <Optimization>Disabled</Optimization>\r\n"
                       "      <PreprocessorDefinitions>WIN32;_DEBUG;_WINDOWS;%(PreprocessorDefinitions)</PreprocessorDefinitions>\r\n"
                     : "      <Optimization>MaxSpeed</Optimization>\r\n"
                       "      <FunctionLevelLinking>true</FunctionLevelLinking>\r\n"
                       "      <IntrinsicFunctions>true</IntrinsicFunctions>\r\n"
                       "      <PreprocessorDefinitions>WIN32;NDEBUG;_WINDOWS;%(PreprocessorDefinitions)</PreprocessorDefinitions>\r\n";
        out += "    </ClCompile>\r\n"
               "    <Link>\r\n"
               "      <SubSystem>Windows</SubSystem>\r\n"
               "      <GenerateDebugInformation>true</GenerateDebugInformation>\r\n"
               "    </Link>\r\n"
               "  </ItemDefinitionGroup>\r\n";
    }
}

// One folder of sources: its compile and include items, and a property group
// of its own that names the toolset again.
void append_module(std::string& out, std::size_t module)
{
    std::string folder = "src\\module" + std::to_string(module) + "\\";
    out += "  <ItemGroup>\r\n";
    for (int file = 0; file < 24; ++file) {
        std::string name = folder + std::string(unit_names[file % 12]) + std::to_string(file);
        if (file % 8 == 0) {
            out += "    <ClCompile Include=\"" + name + ".cpp\">\r\n";
            out += "      <PrecompiledHeader " + condition(configurations[0]) + ">Create</PrecompiledHeader>\r\n";
            out += "      <PrecompiledHeader " + condition(configurations[1]) + ">Create</PrecompiledHeader>\r\n";
            out += "    </ClCompile>\r\n";
        } else {
            out += "    <ClCompile Include=\"" + name + ".cpp\" />\r\n";
        }
    }
    for (int file = 0; file < 24; ++file)
        out += "    <ClInclude Include=\"" + folder + std::string(unit_names[file % 12]) + std::to_string(file) +
               ".h\" />\r\n";
    out += "  </ItemGroup>\r\n";
    append_toolset_group(out, configurations[module % 4], "Module" + std::to_string(module));
}

}  // namespace

std::string generate_project(std::size_t min_bytes)
{
    std::string out(head);
    append_configurations(out);
    for (std::string_view c : configurations)
        append_toolset_group(out, c, "Configuration");
    out += "  <Import Project=\"$(VCTargetsPath)\\Microsoft.Cpp.props\" />\r\n";
    append_definitions(out);
    for (std::size_t module = 0; out.size() + tail.size() < min_bytes; ++module)
        append_module(out, module);
    out += tail;
    return out;
}
