#pragma once
// Project texts for tests, put together from the pieces Visual Studio
// writes: the head with the project element, property groups, the toolset
// and SDK elements, and the tail. Every piece ends its lines with CR LF.

#include <string>
#include <string_view>
#include <vector>

// "<PlatformToolset>value</PlatformToolset>"
std::string toolset_element(std::string_view value);

// "<PlatformToolset Condition="...">value</PlatformToolset>", with a
// condition that holds a '>' as Visual Studio's own conditions do.
std::string conditional_toolset_element(std::string_view value);

// "<WindowsTargetPlatformVersion>value</WindowsTargetPlatformVersion>"
std::string sdk_element(std::string_view value);

// A configuration property group holding `inner` on a line of its own.
std::string configuration_group(std::string_view inner);

// The XML declaration and the project element's start tag with
// `attributes` (e.g. "DefaultTargets=\"Build\" ToolsVersion=\"4.0\"")
// before its namespace.
std::string project_head(std::string_view attributes);

inline constexpr std::string_view project_tail = "</Project>\r\n";

// The smallest projects of 2015 and 2019: a ToolsVersion and one toolset.
inline const std::string v140_project =
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\">\r\n"
    "  <PlatformToolset>v140</PlatformToolset>\r\n</Project>\r\n";
inline const std::string v142_project =
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"15.0\">\r\n"
    "  <PlatformToolset>v142</PlatformToolset>\r\n</Project>\r\n";

// A whole project: project_head(attributes), a configuration group for each
// toolset value in `toolsets` (separated by ','), and the tail.
std::string project_text(std::string_view attributes, std::string_view toolsets);

// project_head(attributes), a configuration group holding each element of
// `inner` (so that, with no attributes, the k-th stands on line 4 + 3k), and
// the tail.
std::string project_of(std::string_view attributes, const std::vector<std::string>& inner);

// A 2010 project of at least `size` bytes whose toolset elements (v100) stand
// all through it between numbered comments, so that a rewrite cut anywhere
// shows; `seed` makes the comments of one project differ from another's.
std::string padded_project(std::size_t size, unsigned seed);
