#pragma once
// A small Visual Studio 2015 project and what retargeting it to 2019 and to
// 2010 makes of it.

#include <string>

inline const std::string project_2015 =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\" "
    "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
    "  <PropertyGroup Label=\"Configuration\">\r\n"
    "    <PlatformToolset>v140</PlatformToolset>\r\n"
    "  </PropertyGroup>\r\n"
    "</Project>\r\n";
inline const std::string project_2019 =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"15.0\" "
    "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
    "  <PropertyGroup Label=\"Configuration\">\r\n"
    "    <PlatformToolset>v142</PlatformToolset>\r\n"
    "  </PropertyGroup>\r\n"
    "</Project>\r\n";
inline const std::string project_2010 =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\" "
    "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
    "  <PropertyGroup Label=\"Configuration\">\r\n"
    "    <PlatformToolset>v100</PlatformToolset>\r\n"
    "  </PropertyGroup>\r\n"
    "</Project>\r\n";
