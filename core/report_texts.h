#pragma once
// What projport.exe and projport-cli print about a project, written once.
// Each text has a narrow form (projport-cli prints UTF-8) and a wide one
// (projport.exe prints UTF-16), both made from the same literal. A text
// that shows a value (a path, a version's label, an error code) is split
// around it, so that each program puts the value in with its own print.
// No system header and no allocation: projport.exe links this.

#include "core/conversion.h"

struct report_text {
    const char* narrow;
    const wchar_t* wide;
};

// The narrow and the wide form of one string literal.
#define PROJPORT_REPORT_TEXT(literal) report_text{literal, L"" literal}

// A line that may show a version's label: `before`, the label when
// `shows_label`, then `after`.
struct labelled_line {
    report_text before;
    report_text after;
    bool shows_label;
};

// The heading of a project:
// heading_open, path, heading_version, label, heading_close.
inline constexpr report_text heading_open = PROJPORT_REPORT_TEXT("[");
inline constexpr report_text heading_version = PROJPORT_REPORT_TEXT("]\nConfiguring project for Visual Studio ");
inline constexpr report_text heading_close = PROJPORT_REPORT_TEXT("\n\n");

// The end of a line: of a change, of a failure's caption.
inline constexpr report_text line_end = PROJPORT_REPORT_TEXT("\n");

// A change is the text as it stood, or, behind inserted_mark, the attribute
// inserted; then line_end.
inline constexpr report_text inserted_mark = PROJPORT_REPORT_TEXT("+ ");

// A failed step: the step's name ("open", "read", "write"...),
// failure_open, the path, failure_close and line_end make the caption line;
// then failure_code, the system's error code in decimal, failure_text and
// the system's message. Each program ends the message line its own way.
inline constexpr report_text failure_open = PROJPORT_REPORT_TEXT("(");
inline constexpr report_text failure_close = PROJPORT_REPORT_TEXT(")");
inline constexpr report_text failure_code = PROJPORT_REPORT_TEXT("   ^ERROR: ");
inline constexpr report_text failure_text = PROJPORT_REPORT_TEXT(", ");

// A toolset element left as it stands (projport-cli):
// unchanged_line, the line number, unchanged_element, the element, unchanged_end.
inline constexpr report_text unchanged_line = PROJPORT_REPORT_TEXT("  line ");
inline constexpr report_text unchanged_element = PROJPORT_REPORT_TEXT(": ");
inline constexpr report_text unchanged_end = PROJPORT_REPORT_TEXT(" left unchanged\n");

// The verdict that ends a project's report.
constexpr labelled_line verdict_text(conversion_verdict verdict) noexcept
{
    switch (verdict) {
    case conversion_verdict::ready:
        return {PROJPORT_REPORT_TEXT("\nProject is ready for Visual Studio "), PROJPORT_REPORT_TEXT("\n"), true};
    case conversion_verdict::would_retarget:
        return {PROJPORT_REPORT_TEXT("\nProject would be retargeted to Visual Studio "), PROJPORT_REPORT_TEXT("\n"),
                true};
    case conversion_verdict::already_configured:
        return {PROJPORT_REPORT_TEXT("Already configured for Visual Studio "), PROJPORT_REPORT_TEXT("\n"), true};
    case conversion_verdict::no_match:
        return {PROJPORT_REPORT_TEXT("could not find a match\n"), PROJPORT_REPORT_TEXT(""), false};
    case conversion_verdict::empty:
        return {PROJPORT_REPORT_TEXT("the project file is empty\n"), PROJPORT_REPORT_TEXT(""), false};
    case conversion_verdict::too_large:
        break;
    }
    return {PROJPORT_REPORT_TEXT("the converted project would not fit its buffer; the file is left unchanged\n"),
            PROJPORT_REPORT_TEXT(""), false};
}
