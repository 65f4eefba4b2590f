#pragma once
// A small Visual Studio 2015 project and what retargeting it to 2019 and to
// 2010 makes of it.

#include <string>

#include "support/project_text.h"

inline const std::string project_2015 = project_text("DefaultTargets=\"Build\" ToolsVersion=\"14.0\"", "v140");
inline const std::string project_2019 = project_text("DefaultTargets=\"Build\" ToolsVersion=\"15.0\"", "v142");
inline const std::string project_2010 = project_text("DefaultTargets=\"Build\" ToolsVersion=\"4.0\"", "v100");
