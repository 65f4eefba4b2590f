#include "support/project_text.h"

std::string toolset_element(std::string_view value)
{
    return "<PlatformToolset>" + std::string(value) + "</PlatformToolset>";
}

std::string conditional_toolset_element(std::string_view value)
{
    return "<PlatformToolset Condition=\"'$(VisualStudioVersion)' >= '17.0'\">" + std::string(value) +
           "</PlatformToolset>";
}

std::string sdk_element(std::string_view value)
{
    return "<WindowsTargetPlatformVersion>" + std::string(value) + "</WindowsTargetPlatformVersion>";
}

std::string configuration_group(std::string_view inner)
{
    return "  <PropertyGroup Label=\"Configuration\">\r\n    " + std::string(inner) + "\r\n  </PropertyGroup>\r\n";
}

std::string project_head(std::string_view attributes)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Project " + std::string(attributes) +
           (attributes.empty() ? "" : " ") + "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n";
}

std::string project_text(std::string_view attributes, std::string_view toolsets)
{
    std::string text = project_head(attributes);
    while (!toolsets.empty()) {
        std::size_t comma = toolsets.find(',');
        text += configuration_group(toolset_element(toolsets.substr(0, comma)));
        toolsets = comma == std::string_view::npos ? std::string_view() : toolsets.substr(comma + 1);
    }
    return text + std::string(project_tail);
}

std::string project_of(std::string_view attributes, const std::vector<std::string>& inner)
{
    std::string text = project_head(attributes);
    for (const std::string& element : inner)
        text += configuration_group(element);
    return text + std::string(project_tail);
}

std::string padded_project(std::size_t size, unsigned seed)
{
    std::string text = project_head("DefaultTargets=\"Build\" ToolsVersion=\"4.0\"");
    for (unsigned line = 0; text.size() < size; ++line) {
        if (line % 64 == 0)
            text += "  <PropertyGroup>" + toolset_element("v100") + "</PropertyGroup>\r\n";
        else
            text += "  <!-- padding " + std::to_string(seed) + "." + std::to_string(line) + " -->\r\n";
    }
    return text + std::string(project_tail);
}
