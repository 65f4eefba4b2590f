#include "reference_retarget.h"

namespace {

const char* const toolsets[4] = {
    "<PlatformToolset>v100</PlatformToolset>",
    "<PlatformToolset>v140</PlatformToolset>",
    "<PlatformToolset>v141</PlatformToolset>",
    "<PlatformToolset>v142</PlatformToolset>",
};
const char* const tools_versions[4] = {
    "ToolsVersion=\"4.0\"",
    "ToolsVersion=\"14.0\"",
    "ToolsVersion=\"15.0\"",
    "ToolsVersion=\"15.0\"",
};
const std::string anchor = "<Project DefaultTargets=\"Build\"";

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool valid(int target)
{
    return target >= 0 && target <= 3;
}

std::string searched_part(const std::string& input)
{
    std::size_t zero = input.find('\0');
    return zero == std::string::npos ? input : input.substr(0, zero);
}

// A ToolsVersion attribute in the project element: the name after white space,
// then optional white space and '='.
bool element_has_attribute(const std::string& text, std::size_t start)
{
    std::size_t close = text.find('>', start);
    std::string element = close == std::string::npos ? text.substr(start) : text.substr(start, close - start);
    const std::string name = "ToolsVersion";
    for (std::size_t i = 1; i + name.size() <= element.size(); ++i) {
        if (element.compare(i, name.size(), name) != 0 || !is_space(element[i - 1]))
            continue;
        std::size_t j = i + name.size();
        while (j < element.size() && is_space(element[j]))
            ++j;
        if (j < element.size() && element[j] == '=')
            return true;
    }
    return false;
}

}  // namespace

reference_conversion reference_retarget(const std::string& input, int target)
{
    reference_conversion result;
    result.text = input;
    if (!valid(target))
        return result;

    std::string text = searched_part(input);
    std::size_t read = 0;
    bool attribute_replaced = false;

    for (int row = 0; row < 4 && !attribute_replaced; ++row) {
        if (row == target)
            continue;
        std::string old_text = tools_versions[row];
        std::size_t at = text.find(old_text);
        if (at == std::string::npos)
            continue;
        result.edits.push_back({at, old_text.size(), tools_versions[target], old_text, false});
        read = at + old_text.size();
        attribute_replaced = true;
    }

    if (!attribute_replaced && target != 3 && text.find(tools_versions[target]) == std::string::npos) {
        std::size_t at = text.find(anchor);
        if (at != std::string::npos && !element_has_attribute(text, at)) {
            std::size_t behind = at + anchor.size();
            std::string separator = " ";
            if (behind < text.size() && is_space(text[behind]))
                separator = std::string(1, text[behind]);
            result.edits.push_back({behind, 0, separator + tools_versions[target], tools_versions[target], true});
            read = behind;
        }
    }

    for (int row = 0; row < 4; ++row) {
        if (row == target)
            continue;
        std::string old_text = toolsets[row];
        for (std::size_t at = text.find(old_text, read); at != std::string::npos; at = text.find(old_text, read)) {
            result.edits.push_back({at, old_text.size(), toolsets[target], old_text, false});
            read = at + old_text.size();
        }
    }

    std::string converted;
    std::size_t copied = 0;
    for (const reference_edit& edit : result.edits) {
        converted += input.substr(copied, edit.at - copied);
        converted += edit.new_text;
        copied = edit.at + edit.old_length;
    }
    converted += input.substr(copied);
    result.text = converted;
    return result;
}

bool reference_names_target(const std::string& input, int target)
{
    if (!valid(target))
        return false;
    std::string text = searched_part(input);
    return text.find(tools_versions[target]) != std::string::npos ||
           text.find(toolsets[target]) != std::string::npos;
}
