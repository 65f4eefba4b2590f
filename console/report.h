#pragma once
// The one way the program prints its messages: a wide formatted print to
// standard output, written in one piece.

// Formats the message and writes it whole: with one WriteConsoleW when
// standard output is a console (the unbuffered UTF-16 stream would otherwise
// write it a character at a time, each a round trip to the console), else
// through the standard output stream.
void print_report(const wchar_t* format, ...) noexcept;
