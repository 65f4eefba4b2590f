#pragma once
// Whether a test may change the machine's own registry (the file association
// of .vcxproj in HKEY_CLASSES_ROOT): by default only under Wine, whose prefix
// the test run creates is a private registry; on Windows only when
// PROJPORT_ALLOW_REGISTRY_CHANGES=1 asks for it.

#include <string>

#include "support/wine_check.h"

// True when allowed; otherwise false, with `why` saying why not and how to
// allow it.
bool registry_changes_allowed(std::wstring& why);
