#pragma once

#include <cstddef>
#include <string>

// The length of the UTF-8 sequence at s[i], 0 when the bytes there are not
// one (overlong forms, surrogates and values past U+10FFFF are not).
size_t Utf8SequenceLength(const std::string& s, size_t i);

// Whether s is UTF-8 throughout.
bool IsValidUtf8(const std::string& s);

// A code point (U+0000..U+10FFFF, surrogates aside) appended as UTF-8.
void AppendUtf8(std::string* pOut, unsigned int codePoint);
