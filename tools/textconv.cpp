// Text between code pages (see textconv.h).
#include "textconv.h"
#include "syslogcore.h"

std::wstring Widen(UINT codePage, const std::string& bytes) {
    int wide = MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
    if (wide <= 0) return std::wstring();
    std::wstring text((size_t)wide, L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), &text[0], wide);
    return text;
}

std::string WideToCp932(const std::wstring& text, size_t* lost) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        int units = (IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) ? 2 : 1;
        char bytes[8];
        BOOL usedDefault = FALSE;
        int n = text[i] == 0xFFFD ? 0
                                  : WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &text[i], units, bytes, sizeof bytes,
                                                        "?", &usedDefault);
        if (n <= 0 || usedDefault) {
            out += '?';
            ++*lost;
        } else {
            out.append(bytes, (size_t)n);
        }
        i += (size_t)units;
    }
    return out;
}

void Utf8ToCp932(std::string* text, size_t* lost) {
    if (IsAscii(text->data(), text->size()) || !IsUtf8(text->data(), text->size())) return;
    *text = WideToCp932(Widen(CP_UTF8, *text), lost);
}

std::string AnsiToUtf8(const std::string& bytes) {
    std::wstring wide = Widen(CP_ACP, bytes);
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out((size_t)size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &out[0], size, nullptr, nullptr);
    return out;
}
