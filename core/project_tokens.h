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
void read_token_into(std::string_view text, std::size_t at, project_token& t) noexcept;

// The tokens of a text, in two streams read each on its own: the elements
// (toolset, SDK, minimum), each looked for behind the one before, found with
// one memchr for 'T', which their names hold; and the tags of property
// groups likewise, with one memchr for 'y'. The streams meet in file order.
// A stream ends at its end_of_text; the other goes on. The group stream can
// be paused, when nothing depends on the groups any more, and caught up when
// something does, as if it had been read all along.
class token_scanner {
public:
    explicit token_scanner(std::string_view text) noexcept;

    // The next token of either stream, in file order; end_of_text once both
    // have ended (or the elements have, with the groups paused). The token
    // stays as it is until the next call.
    const project_token& next() noexcept;

    // No group token is given by next() from now on.
    void pause_groups() noexcept { groups_paused_ = true; }
    bool groups_paused() const noexcept { return groups_paused_; }
    void resume_groups() noexcept { groups_paused_ = false; }

    // With the groups paused: the next group token that starts before
    // `limit`, read as next() would have; false when there is none.
    bool next_group_before(std::size_t limit, project_token& t) noexcept;

private:
    struct stream {
        bool groups = false;
        std::size_t cursor = 0;
        bool ended = false;
        bool read = false;  // `pending` holds the stream's next token
        project_token pending;
    };

    void fill(stream& s) noexcept;
    std::size_t candidate(const stream& s, std::size_t from) const noexcept;

    std::string_view text_;
    stream elements_;
    stream groups_;
    bool groups_paused_ = false;
    project_token end_;
};
