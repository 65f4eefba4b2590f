#include "core/cli_rules.h"

#include <cstring>

#include "core/msbuild_text.h"
#include "core/project_tokens.h"
#include "core/text_search.h"
#include "core/toolset_ladders.h"

// One pass over the tokens of project_tokens.h, front to back. The project
// element is read once beforehand; its edit is told where it falls among
// the others. An insertion that depends on what comes later in the file (a
// toolset for a configuration, the SDK) looks ahead once: see rules_pass.

namespace {

constexpr std::size_t none = std::string_view::npos;

constexpr std::string_view toolset_open = "<PlatformToolset>";
constexpr std::string_view toolset_close = "</PlatformToolset>";
constexpr std::string_view sdk_open = "<WindowsTargetPlatformVersion>";
constexpr std::string_view sdk_close = "</WindowsTargetPlatformVersion>";
constexpr std::string_view project_open = "<Project";
constexpr std::string_view tools_version_name = "ToolsVersion";

bool starts_with_at(std::string_view text, std::size_t at, std::string_view prefix) noexcept
{
    return at <= text.size() && prefix.size() <= text.size() - at &&
           std::memcmp(text.data() + at, prefix.data(), prefix.size()) == 0;
}

bool is_quote(char c) noexcept
{
    return c == '"' || c == '\'';
}

// The '>' that ends a declaration such as a DOCTYPE whose name starts at
// `from`: the first one outside quotes and outside its internal subset.
std::size_t declaration_end(std::string_view text, std::size_t from) noexcept
{
    bool in_subset = false;
    for (std::size_t i = from; i < text.size(); ++i) {
        char c = text[i];
        if (is_quote(c)) {
            i = find_byte(text, c, i + 1);
            if (i == none)
                return none;
        } else if (c == '[') {
            in_subset = true;
        } else if (c == ']') {
            in_subset = false;
        } else if (c == '>' && !in_subset) {
            return i;
        }
    }
    return none;
}

// Where the file's first start tag begins, behind the XML declaration (and
// other processing instructions), comments and a DOCTYPE; or none.
std::size_t first_start_tag(std::string_view text) noexcept
{
    for (std::size_t at = find_byte(text, '<', 0); at != none; at = find_byte(text, '<', at)) {
        std::size_t end = none;
        std::size_t end_length = 1;
        if (starts_with_at(text, at, "<?")) {
            end = find_text(text, "?>", at + 2);
            end_length = 2;
        } else if (starts_with_at(text, at, "<!--")) {
            end = find_text(text, "-->", at + 4);
            end_length = 3;
        } else if (starts_with_at(text, at, "<!")) {
            end = declaration_end(text, at + 2);
        } else {
            return at;
        }
        if (end == none)
            return none;
        at = end + end_length;
    }
    return none;
}

// The project element's ToolsVersion as the rules see it.
struct project_element {
    bool found = false;
    std::size_t name_end = 0;  // just behind "<Project"
    bool has_tools_version = false;
    std::size_t attribute = 0;    // where the first ToolsVersion attribute's name starts
    std::size_t value = 0;        // its value, between the quotes
    std::size_t value_end = 0;    // its closing quote
};

// Reads the attributes of the tag starting at `at` one by one, up to its
// first '>' outside a quoted value, stopping at the first ToolsVersion.
project_element read_project_element(std::string_view text) noexcept
{
    project_element p;
    std::size_t at = first_start_tag(text);
    if (at == none || !starts_with_at(text, at, project_open))
        return p;
    std::size_t i = at + project_open.size();
    if (i < text.size() && !is_white_space(text[i]) && text[i] != '>' && text[i] != '/')
        return p;  // another name, such as <ProjectExtensions>
    p.found = true;
    p.name_end = i;

    while (i < text.size()) {
        char c = text[i];
        if (c == '>')
            break;
        if (is_white_space(c) || c == '/' || c == '=') {
            ++i;
            continue;
        }
        if (is_quote(c)) {
            std::size_t close = find_byte(text, c, i + 1);
            if (close == none)
                break;
            i = close + 1;
            continue;
        }
        std::size_t name = i;
        while (i < text.size() && !is_white_space(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/' &&
               !is_quote(text[i]))
            ++i;
        std::size_t name_end = i;
        std::size_t j = i;
        while (j < text.size() && is_white_space(text[j]))
            ++j;
        if (j >= text.size() || text[j] != '=')
            continue;
        ++j;
        while (j < text.size() && is_white_space(text[j]))
            ++j;
        i = j;
        if (j >= text.size() || !is_quote(text[j]))
            continue;  // an unquoted value is read as the next name
        std::size_t close = find_byte(text, text[j], j + 1);
        if (close == none)
            break;
        if (slice(text, name, name_end) == tools_version_name) {
            p.has_tools_version = true;
            p.attribute = name;
            p.value = j + 1;
            p.value_end = close;
            break;
        }
        i = close + 1;
    }
    return p;
}

// What a toolset element's value becomes, or empty to leave it; sets
// `names_target` for the target's own toolset or xp variant. The table's
// values are in lower case and none is longer than 7 bytes.
std::string_view new_toolset(std::string_view value, const cli_version_row& target, bool& names_target) noexcept
{
    value = trimmed(value);
    char lowered[8] = {};
    if (value.size() > sizeof lowered)
        return {};
    for (std::size_t i = 0; i < value.size(); ++i)
        lowered[i] = lower(value[i]);
    std::string_view v(lowered, value.size());
    if (v == target.toolset || (!target.xp_toolset.empty() && v == target.xp_toolset)) {
        names_target = true;
        return {};
    }
    for (const cli_version_row& row : cli_version_table) {
        if (v == row.toolset)
            return target.toolset;
        if (!row.xp_toolset.empty() && v == row.xp_toolset)
            return target.xp_toolset;
    }
    return {};
}

// Tells the edits in file order, with the project element's edit put in its
// place among the element edits. An element edit inside the replaced
// ToolsVersion value is left out: the value is replaced whole. So is an
// edit that would start before the end of one already told: the elements and
// the groups are read each on their own, and a group's tag may stand inside
// an element's start tag.
struct edit_teller {
    void (*edit)(void* context, const text_edit& e) = nullptr;
    void* context = nullptr;
    text_edit attribute;
    bool attribute_pending = false;
    std::size_t count = 0;
    std::size_t told_end = 0;

    void tell(const text_edit& e) noexcept
    {
        ++count;
        told_end = e.at + e.length;
        if (edit)
            edit(context, e);
    }

    void element(const text_edit& e) noexcept
    {
        if (attribute_pending) {
            std::size_t end = attribute.at + attribute.length;
            if (end <= e.at) {
                tell(attribute);
                attribute_pending = false;
            } else if (e.at + e.length > attribute.at) {
                return;
            }
        }
        if (count > 0 && e.at < told_end)
            return;
        tell(e);
    }

    void finish() noexcept
    {
        if (attribute_pending)
            tell(attribute);
        attribute_pending = false;
    }
};

constexpr std::string_view crlf = "\r\n";
constexpr std::string_view lf = "\n";
constexpr std::string_view child_indent = "  ";
constexpr std::string_view default_props = "Microsoft.Cpp.Default.props";
constexpr std::string_view import_name = "<Import";
constexpr std::string_view property_reference = "$(";
constexpr cli_version first_sdk_insertion = cli_version(3);  // 2015

// A rung's number as the target's Visual Studio writes it, in both forms.
constexpr std::string_view rung_numbers[cli_version_count][2] = {
    {"", ""},         {"11", "11.0"}, {"12", "12.0"}, {"14", "14.0"},
    {"15", "15.0"},   {"16", "16.0"}, {"17", "17.0"}, {"18", "18.0"},
};

bool is_indent(char c) noexcept
{
    return c == ' ' || c == '\t';
}

// The first line end of the text, for a line inserted where the bytes
// around show none; CR LF, as Visual Studio writes, in a text without any.
std::string_view first_line_end(std::string_view text) noexcept
{
    std::size_t at = find_byte(text, '\n', 0);
    if (at == none)
        return crlf;
    return at > 0 && text[at - 1] == '\r' ? crlf : lf;
}

// The blanks that indent a line holding only them before `at`, or empty.
std::string_view indent_before(std::string_view text, std::size_t at) noexcept
{
    std::size_t start = at;
    while (start > 0 && is_indent(text[start - 1]))
        --start;
    if (start == 0 || text[start - 1] == '\n')
        return slice(text, start, at);
    return {};
}

// Where the Microsoft.Cpp.Default.props import starts: the first mention of
// that name whose nearest '<' or '>' in front is an "<Import" start tag's
// '<'. Each stretch is looked back over once.
std::size_t default_props_import(std::string_view text) noexcept
{
    std::size_t limit = 0;
    for (std::size_t at = find_text(text, default_props, 0); at != none; at = find_text(text, default_props, at + 1)) {
        std::size_t k = at;
        while (k > limit && text[k - 1] != '<' && text[k - 1] != '>')
            --k;
        if (k > limit && text[k - 1] == '<' && starts_with_at(text, k - 1, import_name) &&
            k - 1 + import_name.size() < text.size() && is_white_space(text[k - 1 + import_name.size()]))
            return k - 1;
        limit = at;
    }
    return none;
}

// What the whole file holds, as far as the insertions depend on it.
struct file_facts {
    bool toolset = false;            // a toolset element
    bool toolset_outside = false;    // one outside a conditional configuration group
    bool non_visual_studio = false;  // one naming no Visual Studio toolset
    bool plain_names_target = false; // an attribute-less one naming the target
    bool sdk = false;                // a <WindowsTargetPlatformVersion start tag
    std::size_t configurations_without = 0;  // conditional configuration groups without a toolset
    bool minimum_found = false;
    std::string_view minimum;        // the first <WindowsTargetPlatformMinVersion>, trimmed
};

struct open_group {
    bool open = false;
    std::size_t at = 0;          // its start tag's '<'
    std::size_t content = 0;     // behind its start tag
    bool configuration = false;  // a Condition and Label="Configuration"
    bool globals = false;        // Label="Globals"
    bool has_toolset = false;
    bool ladder_read = false;
    group_ladder ladder;  // of the whole group, once read
};

enum class pass_mode {
    telling,    // the pass proper
    surveying,  // a look ahead to the end, for the facts of the whole file
};

// The pass over the tokens. The survey is a copy of the pass made where it
// stands, run on to the end without telling: the facts of the whole file
// are those it ends with; it is made once at most. The look for a later
// Globals group runs only up to the next one, so each stretch before the
// import is looked at once more at most.
class rules_pass {
public:
    rules_pass(std::string_view text, const cli_target& target, edit_teller& teller, cli_edits& result) noexcept
        : text_(text), target_(target), row_(cli_version_table[target.version]),
          number_(ladder_number(target.version)), teller_(&teller), result_(&result), scanner_(text)
    {
        sdk_insertion_possible_ = !target.sdk.empty() && target.version >= first_sdk_insertion;
        if (sdk_insertion_possible_)
            import_at_ = default_props_import(text);
        sdk_insertion_possible_ = sdk_insertion_possible_ && import_at_ != none;
    }

    void run() noexcept
    {
        for (;;) {
            const project_token& t = scanner_.next();
            if (t.kind == token_kind::end_of_text)
                break;
            if (!scanner_.groups_paused() && groups_settled(t.at))
                scanner_.pause_groups();
            switch (t.kind) {
            case token_kind::toolset:
                on_toolset(t);
                break;
            case token_kind::sdk:
                on_sdk(t);
                break;
            case token_kind::sdk_minimum:
                if (t.element && !facts_.minimum_found) {
                    facts_.minimum_found = true;
                    facts_.minimum = trimmed(t.value(text_));
                }
                break;
            case token_kind::group_start:
                group_ = {};
                if (!t.tag.self_closing) {
                    group_.open = true;
                    group_.at = t.at;
                    group_.content = t.resume;
                    group_.configuration = t.tag.has_condition && t.tag.has_label && t.tag.label == "Configuration";
                    group_.globals = t.tag.has_label && t.tag.label == "Globals";
                }
                break;
            case token_kind::group_end:
                if (group_.open)
                    on_group_end(t);
                break;
            case token_kind::none:
            case token_kind::end_of_text:
                break;
            }
        }
    }

    void finish() noexcept
    {
        cli_edits& r = *result_;
        r.has_toolset = facts_.toolset;
        r.toolset_names_target = facts_.plain_names_target;
        r.toolsets_visual_studio = facts_.toolset && !facts_.non_visual_studio;
        r.has_sdk = facts_.sdk;
        r.names_target = r.names_target || facts_.plain_names_target || ladder_names_target_ ||
                         (!facts_.toolset && target_.imported.toolset && target_.imported.toolset_names_target);
    }

private:
    void on_toolset(const project_token& t) noexcept
    {
        if (!t.element)
            return;
        std::string_view value = t.value(text_);
        facts_.toolset = true;
        if (!(group_.open && group_.configuration))
            facts_.toolset_outside = true;
        if (group_.open)
            group_.has_toolset = true;
        if (!is_visual_studio_toolset(value))
            facts_.non_visual_studio = true;
        if (t.plain) {
            plain_seen_ = true;
            last_plain_ = t.at;
            bool names = trimmed(value) == default_toolset;
            std::string_view replacement = new_toolset(value, row_, names);
            facts_.plain_names_target = facts_.plain_names_target || names;
            if (mode_ == pass_mode::telling && !replacement.empty())
                tell_replacement(t, replacement);
            return;
        }
        rung_condition condition;
        if (mode_ != pass_mode::telling || number_ == 0 || !is_rung(t, condition))
            return;
        if (scanner_.groups_paused())
            catch_up(t.at);
        if (!group_.open)
            return;
        if (!group_.ladder_read) {
            // What the group held before this rung, this rung, and the rest.
            group_ladder& g = group_.ladder;
            g = {};
            g.plain_toolset = plain_seen_ && last_plain_ > group_.at;
            add_to_ladder(g, t, number_);
            token_scanner rest = scanner_;
            rest.resume_groups();
            group_ladder after = read_rest_of_group(rest, number_);
            g.plain_toolset = g.plain_toolset || after.plain_toolset;
            g.has_number = g.has_number || after.has_number;
            if (after.rungs)
                g.last_rung = after.last_rung;
            group_.ladder_read = true;
        }
        const group_ladder& ladder = group_.ladder;
        // A ladder with the target's rung chooses the target's toolset.
        if (is_ladder(ladder) && ladder.has_number)
            ladder_names_target_ = true;
        if (is_ladder(ladder) && !ladder.has_number && t.at == ladder.last_rung)
            tell_rung(t, condition);
    }

    void on_sdk(const project_token& t) noexcept
    {
        facts_.sdk = true;
        if (mode_ != pass_mode::telling || target_.sdk.empty() || !t.element)
            return;
        const start_tag& tag = t.tag;
        bool default_setter = !t.plain && tag.plain && tag.attributes == 1 && tag.has_condition &&
                              is_sdk_default_setter(tag.condition);
        std::string_view value = trimmed(t.value(text_));
        if (!(t.plain || default_setter) || value == target_.sdk || value.substr(0, 2) == property_reference)
            return;
        if (sdk_kept())
            return;
        tell_replacement(t, target_.sdk);
    }

    void on_group_end(const project_token& t) noexcept
    {
        open_group closed = group_;
        group_.open = false;
        if (closed.configuration && !closed.has_toolset)
            ++facts_.configurations_without;
        if (mode_ != pass_mode::telling)
            return;
        if (closed.configuration && !closed.has_toolset && inserts_configurations())
            tell_at_group_end(closed, t.at, toolset_open, row_.toolset, toolset_close);
        if (closed.globals && sdk_insertion_possible_ && t.at < import_at_ && !globals_ahead())
            insert_sdk(closed, t.at);
    }

    // Whether no group tag can change an edit any more from `at` on: no
    // configuration can get a toolset, and no SDK go into a Globals group.
    bool groups_settled(std::size_t at) const noexcept
    {
        bool configurations = !facts_.toolset_outside;
        bool sdk = sdk_insertion_possible_ && at < import_at_ && !facts_.sdk &&
                   !(facts_.toolset && facts_.non_visual_studio);
        return !configurations && !sdk;
    }

    // The group tags before `limit`, read while the groups were paused: only
    // which group is open matters now.
    void catch_up(std::size_t limit) noexcept
    {
        project_token g;
        while (scanner_.next_group_before(limit, g)) {
            if (g.kind == token_kind::group_start) {
                group_ = {};
                group_.open = !g.tag.self_closing;
                group_.at = g.at;
                group_.content = g.resume;
            } else {
                group_.open = false;
            }
        }
    }

    const file_facts& whole() noexcept
    {
        if (!whole_known_) {
            rules_pass ahead = *this;
            ahead.mode_ = pass_mode::surveying;
            ahead.run();
            whole_ = ahead.facts_;
            whole_known_ = true;
        }
        return whole_;
    }

    // Whether another Globals group ends between here and the import.
    bool globals_ahead() const noexcept
    {
        token_scanner ahead = scanner_;
        bool open = false;
        bool globals = false;
        for (project_token t = ahead.next(); t.kind != token_kind::end_of_text && t.at < import_at_; t = ahead.next()) {
            if (t.kind == token_kind::group_start) {
                open = !t.tag.self_closing;
                globals = t.tag.has_label && t.tag.label == "Globals";
            } else if (t.kind == token_kind::group_end && open) {
                if (globals)
                    return true;
                open = false;
            }
        }
        return false;
    }

    bool inserts_configurations() noexcept
    {
        // A project with no toolset element of its own takes its toolset from
        // the sheet that sets one: an inserted one would override it.
        if (facts_.toolset_outside)
            return false;
        const file_facts& f = whole();
        return !f.toolset_outside && !(target_.imported.toolset && !f.toolset);
    }

    bool sdk_kept() noexcept
    {
        if (!kept_known_) {
            kept_known_ = true;
            if (is_full_version(target_.sdk)) {
                const file_facts& f = whole();
                kept_ = f.minimum_found && is_full_version(f.minimum) && version_above(f.minimum, target_.sdk);
            }
        }
        if (kept_)
            result_->sdk_minimum = whole().minimum;
        return kept_;
    }

    void insert_sdk(const open_group& closed, std::size_t close_at) noexcept
    {
        // What is known so far may settle it without the survey.
        if (facts_.sdk || (facts_.toolset && facts_.non_visual_studio))
            return;
        const file_facts& f = whole();
        if (f.sdk)
            return;
        bool configurations =
            f.configurations_without != 0 && !f.toolset_outside && !(target_.imported.toolset && !f.toolset);
        bool visual_studio = false;
        if (f.toolset)
            visual_studio = !f.non_visual_studio;
        else if (configurations)
            visual_studio = true;
        else
            visual_studio = target_.imported.toolset && target_.imported.toolset_visual_studio;
        if (!visual_studio)
            return;
        result_->sdk_insertion = true;
        if (target_.imported.sdk) {
            result_->sdk_imported = true;
            return;
        }
        if (sdk_kept())
            return;
        tell_at_group_end(closed, close_at, sdk_open, target_.sdk, sdk_close);
    }

    void tell_replacement(const project_token& t, std::string_view replacement) noexcept
    {
        text_edit e;
        e.at = t.value_at;
        e.length = t.value_end - t.value_at;
        e.text = replacement;
        e.kind = change_kind::replaced;
        e.reported = slice(text_, t.at, t.end);
        teller_->element(e);
    }

    // open, value, close as the group's last child, on a line of its own
    // behind the last child's, indented like it.
    void tell_at_group_end(const open_group& g, std::size_t close_at, std::string_view open, std::string_view value,
                           std::string_view close) noexcept
    {
        std::size_t at = close_at;
        while (at > g.content && is_white_space(text_[at - 1]))
            --at;
        std::size_t feed = find_byte(slice(text_, 0, close_at), '\n', at);
        std::string_view line_end = first_line_end(text_);
        if (feed != none)
            line_end = feed > at && text_[feed - 1] == '\r' ? crlf : lf;
        text_edit e;
        e.at = at;
        e.kind = change_kind::inserted;
        text_pieces& p = e.pieces;
        p.piece[p.count++] = line_end;
        std::size_t line = at;
        while (line > g.content && text_[line - 1] != '\n')
            --line;
        if (at > g.content && line > g.content) {
            std::size_t indent_end = line;
            while (indent_end < at && is_indent(text_[indent_end]))
                ++indent_end;
            p.piece[p.count++] = slice(text_, line, indent_end);
        } else {
            p.piece[p.count++] = indent_before(text_, g.at);
            p.piece[p.count++] = child_indent;
        }
        e.reported_from = p.count;
        p.piece[p.count++] = open;
        p.piece[p.count++] = value;
        p.piece[p.count++] = close;
        e.reported_to = p.count;
        teller_->element(e);
    }

    // A copy of the last rung on the line behind it, for the target's number.
    void tell_rung(const project_token& t, const rung_condition& condition) noexcept
    {
        std::size_t condition_at = static_cast<std::size_t>(t.tag.condition.data() - text_.data());
        std::string_view line_end = first_line_end(text_);
        if (starts_with_at(text_, t.end, crlf))
            line_end = crlf;
        else if (starts_with_at(text_, t.end, lf))
            line_end = lf;
        text_edit e;
        e.at = t.end;
        e.kind = change_kind::inserted;
        text_pieces& p = e.pieces;
        p.piece[p.count++] = line_end;
        p.piece[p.count++] = indent_before(text_, t.at);
        e.reported_from = p.count;
        p.piece[p.count++] = slice(text_, t.at, condition_at + condition.number_at);
        p.piece[p.count++] = rung_numbers[target_.version][condition.dotted ? 1 : 0];
        p.piece[p.count++] = slice(text_, condition_at + condition.number_end, t.tag.end);
        p.piece[p.count++] = row_.toolset;
        p.piece[p.count++] = toolset_close;
        e.reported_to = p.count;
        teller_->element(e);
    }

    std::string_view text_;
    const cli_target& target_;
    const cli_version_row& row_;
    unsigned number_ = 0;
    edit_teller* teller_ = nullptr;
    cli_edits* result_ = nullptr;
    token_scanner scanner_;
    pass_mode mode_ = pass_mode::telling;
    file_facts facts_;
    open_group group_;
    bool sdk_insertion_possible_ = false;
    std::size_t import_at_ = none;
    bool whole_known_ = false;
    file_facts whole_;
    bool kept_known_ = false;
    bool kept_ = false;
    bool ladder_names_target_ = false;
    bool plain_seen_ = false;
    std::size_t last_plain_ = 0;  // where the last attribute-less toolset element starts
};

}  // namespace

cli_edits find_cli_edits(std::string_view input, const cli_target& target,
                         void (*edit)(void* context, const text_edit& e), void* context) noexcept
{
    cli_edits result;
    if (static_cast<std::size_t>(target.version) >= cli_version_count)
        return result;
    const cli_version_row& row = cli_version_table[target.version];
    std::size_t zero = find_byte(input, '\0', 0);
    std::string_view text = zero == none ? input : slice(input, 0, zero);

    edit_teller teller;
    teller.edit = edit;
    teller.context = context;
    if (!row.tools_version.empty()) {
        project_element p = read_project_element(text);
        if (p.found && p.has_tools_version) {
            std::string_view value = slice(text, p.value, p.value_end);
            if (value == row.tools_version) {
                result.names_target = true;
            } else {
                teller.attribute = {p.value, value.size(), row.tools_version, change_kind::replaced,
                                    slice(text, p.attribute, p.value_end + 1)};
                teller.attribute_pending = true;
            }
        } else if (p.found && row.inserts_tools_version) {
            teller.attribute = {p.name_end, 0, row.inserted_text, change_kind::inserted, row.inserted_attribute};
            teller.attribute_pending = true;
        }
    }

    rules_pass pass(text, target, teller, result);
    pass.run();
    pass.finish();
    teller.finish();
    result.count = teller.count;
    return result;
}
