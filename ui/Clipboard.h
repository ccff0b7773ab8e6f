#pragma once

#include <windows.h>

#include <string>

// The clipboard's text: its Unicode form where there is one, so that no
// character is lost to a code page; empty when it holds none, more than
// nLimit bytes of it, or cannot be opened.
std::string ClipboardText(HWND hOwner, size_t nLimit);

// Puts text on the clipboard as CF_TEXT; false when the clipboard is busy
// or there is no memory for it (the copy is then abandoned quietly).
bool PutOnClipboard(HWND hOwner, const std::string& text);
