#pragma once
// The Explorer context-menu verbs for .vcxproj files: "_projport 2010" and
// "_projport 2019" on the file type (ProgID) that HKEY_CLASSES_ROOT associates
// with the extension, each starting this program's own executable on the
// clicked file.

#include <cstdint>

// Installs the 2010 and 2019 verbs (install = true) or removes the verbs of
// all four versions (install = false), printing a report on standard output
// that always ends with "\n:: finished ::\n". Does not throw.
// Returns 0 when the 2019 verb was written (install) or found and deleted
// (removal); -1 when the program's own path cannot be fetched; otherwise the
// Windows error code of the failed ProgID lookup or of the 2019 verb's
// failing call (on removal also of the open of an absent 2019 verb key).
[[nodiscard]] std::int32_t register_context_menu(bool install) noexcept;
