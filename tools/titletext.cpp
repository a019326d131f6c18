// Title conversion between the terminal's encoding and CP932, through iconv.
#include "titletext.h"
#include "skinfile.h"
#include "sjis.h"
#include <errno.h>
#include <stdio.h>
#ifndef _WIN32
#include <iconv.h>
#endif

const char* DescribeTitleProblem(TitleProblem problem) {
    switch (problem) {
    case TITLE_OK:
        return "ok";
    case TITLE_NOT_IN_CODESET:
        return "the title is not valid text in the terminal's encoding";
    case TITLE_NOT_IN_CP932:
        return "the title holds a character Shift-JIS (CP932) cannot hold";
    case TITLE_TOO_LONG:
        return "the title is longer than 31 bytes in Shift-JIS (CP932)";
    }
    return "?";
}

size_t Cp932CharLength(const char* text, size_t left) {
    unsigned char first = (unsigned char)text[0];
    if (!IsShiftJisLeadByte(first) || left < 2) return 1;
    unsigned char second = (unsigned char)text[1];
    return second >= 0x40 && second <= 0xFC && second != 0x7F ? 2 : 1;
}

bool ShownEscaped(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F || byte == '\\';
}

#ifndef _WIN32
namespace {

// Converts all of `in`; false at the first byte sequence that does not
// convert (`*stoppedAt` says where) or when iconv cannot be set up.
bool Convert(const char* to, const char* from, const std::string& in, std::string* out, size_t* stoppedAt) {
    iconv_t cd = iconv_open(to, from);
    *stoppedAt = 0;
    if (cd == (iconv_t)-1) return false;
    out->clear();
    char* source = const_cast<char*>(in.data());
    size_t left = in.size();
    bool ok = true;
    while (left > 0) {
        char chunk[256];
        char* target = chunk;
        size_t room = sizeof chunk;
        size_t result = iconv(cd, &source, &left, &target, &room);
        out->append(chunk, (size_t)(target - chunk));
        if (result == (size_t)-1 && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    *stoppedAt = in.size() - left;
    iconv_close(cd);
    return ok;
}

void AppendEscaped(std::string* out, unsigned char byte) {
    char escape[8];
    snprintf(escape, sizeof escape, "\\x%02X", byte);
    *out += escape;
}

}  // namespace

TitleProblem TitleToCp932(const std::string& text, const char* codeset, std::string* cp932) {
    // Text first becomes UTF-8, so that bad input and characters CP932
    // lacks are told apart.
    std::string utf8;
    size_t stoppedAt;
    if (!Convert("UTF-8", codeset, text, &utf8, &stoppedAt)) return TITLE_NOT_IN_CODESET;
    if (!Convert("CP932", "UTF-8", utf8, cp932, &stoppedAt)) return TITLE_NOT_IN_CP932;
    return cp932->size() < sizeof(SkinHeader::title) ? TITLE_OK : TITLE_TOO_LONG;  // its NUL must fit
}

std::string TitleForTerminal(const char* cp932, size_t size, const char* codeset) {
    std::string out;
    size_t at = 0;
    while (at < size) {
        if (ShownEscaped((unsigned char)cp932[at])) {
            AppendEscaped(&out, (unsigned char)cp932[at++]);
            continue;
        }
        // The run of characters up to the next one shown escaped.
        size_t end = at;
        while (end < size && !ShownEscaped((unsigned char)cp932[end])) end += Cp932CharLength(cp932 + end, size - end);
        std::string converted;
        size_t stoppedAt;
        bool whole = Convert(codeset, "CP932", std::string(cp932 + at, end - at), &converted, &stoppedAt);
        out += converted;
        if (whole) {
            at = end;
        } else {
            AppendEscaped(&out, (unsigned char)cp932[at + stoppedAt]);
            at += stoppedAt + 1;
        }
    }
    return out;
}
#endif
