#pragma once
// The few pieces of MSBuild's text that projport-cli's rules read beyond
// element names: a start tag's Condition and Label, the conditions that
// make a ladder rung or a default-setter, and the values that name a Visual
// Studio toolset or a full Windows SDK version. Bytes only; no system
// header, no allocation.

#include <cstddef>
#include <string_view>

// A start tag whose name ends at `name_end`, read up to its '>'.
struct start_tag {
    bool ended = false;          // a '>' outside quoted values ends it
    std::size_t end = 0;         // just behind that '>'
    bool self_closing = false;   // "/>"
    bool plain = true;           // its attributes are name="value" pairs only
    std::size_t attributes = 0;  // how many
    bool has_condition = false;
    std::string_view condition;  // the Condition's value
    bool has_label = false;
    std::string_view label;      // the Label's value
    bool has_project = false;
    std::string_view project;    // the Project's value (of an Import)
};

// Reads the start tag whose name ends at `name_end` (at white space, '>' or
// '/'): its end is the first '>' outside a quoted value, as the listing of
// elements left unchanged reads it.
start_tag read_start_tag(std::string_view text, std::size_t name_end) noexcept;

// A Condition that tests $(VisualStudioVersion) for equality with a number:
// "'$(VisualStudioVersion)'=='17'", "'$(VisualStudioVersion)' == '16.0'"
// (blanks around the parts as they come).
struct rung_condition {
    bool is_rung = false;
    std::size_t number_at = 0;   // the number, as an offset in the condition
    std::size_t number_end = 0;
    bool dotted = false;         // written "16.0" rather than "16"
    bool whole = false;          // every digit behind the dot is 0
    unsigned major = 0;          // the digits before the dot (capped)
};
rung_condition read_rung_condition(std::string_view condition) noexcept;

// Whether a rung's number equals `number` as MSBuild compares them (17 ==
// 17.0).
bool rung_tests(const rung_condition& rung, unsigned number) noexcept;

// "'$(WindowsTargetPlatformVersion)' == ''", blanks as they come.
bool is_sdk_default_setter(std::string_view condition) noexcept;

// A toolset value (blanks around it removed) that names a Visual Studio
// toolset: 'v' or 'V', digits, and optionally "_xp"; or exactly
// $(DefaultPlatformToolset).
bool is_visual_studio_toolset(std::string_view value) noexcept;

inline constexpr std::string_view default_toolset = "$(DefaultPlatformToolset)";

// A full Windows SDK version: four numbers joined by dots ("10.0.22621.0").
bool is_full_version(std::string_view version) noexcept;

// Whether full version `a` is above full version `b`, part by part.
bool version_above(std::string_view a, std::string_view b) noexcept;
