// Skin titles on a terminal: a title typed in the terminal's encoding becomes
// the CP932 bytes a skin record holds, and a record's title is shown back in
// the terminal's encoding. The conversions are for Linux (iconv); on Windows
// the command line and the console already speak the ANSI code page.
#pragma once
#include <stddef.h>
#include <string>

enum TitleProblem {
    TITLE_OK,
    TITLE_NOT_IN_CODESET,  // the bytes are not text in the terminal's encoding
    TITLE_NOT_IN_CP932,    // a character Shift-JIS (CP932) has no code for
    TITLE_TOO_LONG,        // more than the 31 bytes a record's title holds
};

const char* DescribeTitleProblem(TitleProblem problem);

// Bytes of the CP932 character at `text` (`left` bytes remain): 2 for a lead
// byte followed by a byte that can be a second one (0x5C among them), else 1.
size_t Cp932CharLength(const char* text, size_t left);

// Whether a one-byte character is shown as \xNN: control bytes, DEL and the
// backslash, so the text stays one unambiguous line.
bool ShownEscaped(unsigned char byte);

#ifndef _WIN32
// `text` in `codeset` (as nl_langinfo(CODESET) names it) to CP932.
TitleProblem TitleToCp932(const std::string& text, const char* codeset, std::string* cp932);

// CP932 title bytes in `codeset`; what does not convert is shown as \xNN, as
// are control bytes and the backslash, so the result stays one line.
std::string TitleForTerminal(const char* cp932, size_t size, const char* codeset);
#endif
