// UTF-8 decoding for text: one character at a time from a NUL-terminated
// string, never reading past the terminator. Owns nothing.
#pragma once

#include <cstdint>

// What utf8_next returns for bytes that are not well-formed UTF-8.
constexpr uint32_t UTF8_INVALID = 0xFFFD;

// The character at text, advancing text past it. A byte that cannot start a
// character, or a sequence cut short, overlong, a surrogate or beyond
// U+10FFFF gives UTF8_INVALID once for its longest well-formed beginning (at
// least one byte), so each damaged character counts as one. At the
// terminator: 0, and text stays put.
uint32_t utf8_next(const char*& text);
