// Text between the code pages the tools meet: UTF-8 from other machines and
// consoles, the ANSI code page of this PC, and CP932, which the monitor
// shows. Win32.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <string>

// `bytes` in `codePage` as UTF-16; empty when they cannot be read so.
std::wstring Widen(UINT codePage, const std::string& bytes);

// UTF-16 to CP932, one character at a time so that those CP932 lacks can be
// counted in `*lost`; each becomes '?', as does U+FFFD (what was not text to
// begin with).
std::string WideToCp932(const std::wstring& text, size_t* lost);

// The UTF-8 rule of text from other machines, in place: valid UTF-8 becomes
// CP932 (a character CP932 lacks becomes '?', counted in `*lost`); anything
// else is left unchanged.
void Utf8ToCp932(std::string* text, size_t* lost);

// Text in this PC's ANSI code page as UTF-8.
std::string AnsiToUtf8(const std::string& bytes);
