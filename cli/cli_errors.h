#pragma once
// Failures that projport-cli finds itself, beside the system's error codes
// (errno values, Windows system error codes). They carry the customer bit of
// Windows error codes, so that they never clash with a system code on either
// platform. No system header here.

#include <cstdint>

using cli_error = std::uint32_t;

inline constexpr cli_error error_not_regular_file = 0x20000001;   // a FIFO, device, socket or folder
inline constexpr cli_error error_changed_meanwhile = 0x20000002;  // another writer changed the project
inline constexpr cli_error error_control_in_path = 0x20000003;    // a solution entry holds a control character
inline constexpr cli_error error_not_a_solution = 0x20000004;     // no solution header, unreadable encoding, malformed
inline constexpr cli_error error_link_outside = 0x20000005;       // a link in a folder walk leads out of the folder
inline constexpr cli_error error_link_not_project = 0x20000006;   // a link leads to a file not named like a project

// The text of one of the codes above, or nullptr for any other code.
const char* cli_error_text(cli_error code) noexcept;
