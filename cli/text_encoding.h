#pragma once
// Conversion between the UTF-8 paths the command line tool works with and the
// UTF-16 of the Windows API. The UTF-8 side is in fact WTF-8: a surrogate
// that is not part of a pair is kept as its three-byte form, so every name
// Windows can hand out comes back unchanged. Pure computation, no system
// header.

#include <string>
#include <string_view>

// The UTF-16 of `text`. A surrogate's three-byte form becomes that unit (two
// such forms in a row become the pair they spell). Each byte of a malformed
// sequence (a stray continuation byte, a truncated, overlong or out-of-range
// sequence) becomes U+FFFD: the maximal malformed part counts once, as the
// Unicode standard recommends.
std::u16string utf8_to_utf16(std::string_view text);

// The WTF-8 of `text`: a valid surrogate pair becomes one four-byte sequence,
// a lone surrogate its own three-byte form.
std::string utf16_to_utf8(std::u16string_view text);

// The WTF-8 of UTF-16 text given as bytes, two to a unit, little-endian or
// big-endian; a last odd byte is left out.
std::string utf16_bytes_to_utf8(std::string_view bytes, bool big_endian);

#ifdef _WIN32
// The same on Windows' 16-bit wchar_t.
std::wstring widen(std::string_view text);
std::string narrow(std::wstring_view text);
#endif
