#pragma once
// The annotations projport-cli adds to its report for a CI system: GitHub
// Actions workflow commands (--annotate=github) and Azure Pipelines logging
// commands (--annotate=azure). Each is one line, its path and message
// escaped the way that system reads them back, so that no name or text of a
// file can end the line or the command early.

#include <cstddef>
#include <string>
#include <string_view>

#include "cli/byte_buffer.h"

enum class annotation_format {
    none,
    github,  // ::error file=P,line=N::message
    azure,   // ##vso[task.logissue type=error;sourcepath=P;linenumber=N;]message
};

enum class annotation_kind { error, warning };

// The format a value of --annotate= names ("github", "azure"), or none for
// any other value.
[[nodiscard]] annotation_format find_annotation_format(std::string_view name) noexcept;

// Appends to `text` one annotation of `kind` about the file `path` (as the
// report names it, raw: its printable form is written, and Azure gets its
// absolute path's), at `line` (0 for none), with `message` (already in its
// printable form), ending with a line feed. Appends nothing for
// annotation_format::none. Returns false, part of it appended, when the
// memory cannot be had.
[[nodiscard]] bool append_annotation(byte_buffer& text, annotation_format format, annotation_kind kind,
                                     std::string_view path, std::size_t line, std::string_view message) noexcept;

// The same into a string, for a text of a size the program bounds.
void append_annotation(std::string& text, annotation_format format, annotation_kind kind, std::string_view path,
                       std::size_t line, std::string_view message);

// Escaping, for the tests: `property` for a property value (the path), else
// for the message.
[[nodiscard]] bool append_github_escaped(byte_buffer& text, std::string_view value, bool property) noexcept;
[[nodiscard]] bool append_azure_escaped(byte_buffer& text, std::string_view value, bool property) noexcept;
void append_github_escaped(std::string& text, std::string_view value, bool property);
void append_azure_escaped(std::string& text, std::string_view value, bool property);
