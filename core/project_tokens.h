#pragma once
// The parts of a project file that projport-cli's rules and the listing of
// elements left unchanged read, one after the other, front to back: the
// toolset and SDK elements, the SDK's minimum version, and the start and
// end tags of property groups. Each is read forward once and the next one
// is looked for behind it, never inside it, so a file of tags without ends
// costs no more than any other. Both read the same parts the same way.
// No system header, no allocation.

#include <cstddef>
#include <string_view>

#include "core/msbuild_text.h"

enum class token_kind {
    none,           // nothing of interest starts here
    toolset,        // <PlatformToolset> or <PlatformToolset attributes>
    sdk,            // <WindowsTargetPlatformVersion ...
    sdk_minimum,    // <WindowsTargetPlatformMinVersion>
    group_start,    // <PropertyGroup ...>
    group_end,      // </PropertyGroup>
    end_of_text,    // a start tag that never ends, or no '<' behind a value:
                    // nothing further on is read
};

struct project_token {
    token_kind kind = token_kind::none;
    std::size_t at = 0;         // where it starts
    std::size_t resume = 0;     // where reading goes on
    bool plain = false;         // the start tag has no attributes at all
    start_tag tag;              // the start tag, when it has attributes
    bool element = false;       // its value is closed by its end tag
    std::size_t value_at = 0;   // the value, up to the next '<'
    std::size_t value_end = 0;
    std::size_t end = 0;        // behind the end tag, for an element

    std::string_view value(std::string_view text) const noexcept
    {
        return text.substr(value_at, value_end - value_at);
    }
};

// Reads what starts at `at` (a '<'); kind none, with resume at + 1, when
// nothing of interest does.
project_token read_token(std::string_view text, std::size_t at) noexcept;

// The tokens of a text from a given offset on, found with one memchr each
// for two bytes that their names hold ('T' for the elements, 'y' for the
// groups), so that the text between them is skipped at memory speed.
class token_scanner {
public:
    token_scanner(std::string_view text, std::size_t from) noexcept;

    // The next token; end_of_text at the end, and for ever after.
    project_token next() noexcept;

    std::size_t position() const noexcept { return cursor_; }

private:
    std::size_t element_candidate(std::size_t from) const noexcept;
    std::size_t group_candidate(std::size_t from) const noexcept;

    std::string_view text_;
    std::size_t cursor_ = 0;
    std::size_t elements_ = 0;  // next element name at or after cursor_, or npos
    std::size_t groups_ = 0;    // next group tag at or after cursor_, or npos
    bool ended_ = false;
};
