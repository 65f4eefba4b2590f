#pragma once
// The program's enums by name, for expectations that print words when they
// fail ("failed write 112", not "failed 2 112"): GoogleTest prints a value
// with the operator<< found beside its type.

#include <ostream>
#include <string_view>

#include "cli/cli_command_line.h"
#include "core/conversion.h"
#include "core/file_rewrite.h"
#include "core/retarget.h"

constexpr std::string_view name_of(conversion_mode mode) noexcept
{
    switch (mode) {
    case conversion_mode::rewrite: return "rewrite";
    case conversion_mode::check: return "check";
    }
    return "conversion_mode?";
}

constexpr std::string_view name_of(conversion_verdict verdict) noexcept
{
    switch (verdict) {
    case conversion_verdict::ready: return "ready";
    case conversion_verdict::would_retarget: return "would_retarget";
    case conversion_verdict::already_configured: return "already_configured";
    case conversion_verdict::no_match: return "no_match";
    case conversion_verdict::empty: return "empty";
    case conversion_verdict::too_large: return "too_large";
    }
    return "conversion_verdict?";
}

constexpr std::string_view name_of(conversion_step step) noexcept
{
    switch (step) {
    case conversion_step::read: return "read";
    case conversion_step::seek: return "seek";
    case conversion_step::write: return "write";
    case conversion_step::restore: return "restore";
    }
    return "conversion_step?";
}

constexpr std::string_view name_of(rewrite_step step) noexcept
{
    switch (step) {
    case rewrite_step::none: return "none";
    case rewrite_step::extend: return "extend";
    case rewrite_step::write: return "write";
    case rewrite_step::set_end: return "set_end";
    }
    return "rewrite_step?";
}

constexpr std::string_view name_of(change_kind kind) noexcept
{
    switch (kind) {
    case change_kind::replaced: return "replaced";
    case change_kind::inserted: return "inserted";
    }
    return "change_kind?";
}

constexpr std::string_view name_of(cli_action action) noexcept
{
    switch (action) {
    case cli_action::convert: return "convert";
    case cli_action::show_help: return "show_help";
    case cli_action::show_version: return "show_version";
    case cli_action::usage_error: return "usage_error";
    }
    return "cli_action?";
}

inline std::ostream& operator<<(std::ostream& out, conversion_mode v) { return out << name_of(v); }
inline std::ostream& operator<<(std::ostream& out, conversion_verdict v) { return out << name_of(v); }
inline std::ostream& operator<<(std::ostream& out, conversion_step v) { return out << name_of(v); }
inline std::ostream& operator<<(std::ostream& out, rewrite_step v) { return out << name_of(v); }
inline std::ostream& operator<<(std::ostream& out, change_kind v) { return out << name_of(v); }
inline std::ostream& operator<<(std::ostream& out, cli_action v) { return out << name_of(v); }
