// Fuzz target of the tools' line filters: patterns and text of any bytes.
// Whatever they are, matching stays inside both, a match of the whole text
// is also a match anywhere in it, and "*" matches everything.
#include "linerules.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first NUL parts the patterns from the text.
    const char* bytes = (const char*)data;
    const char* nul = (const char*)memchr(bytes, 0, size);
    size_t patternsSize = nul ? (size_t)(nul - bytes) : size;
    std::vector<std::string> patterns;
    AddPatterns(std::string(bytes, patternsSize), &patterns);
    size_t textSize = nul ? size - patternsSize - 1 : 0;
    // A copy of exactly the text, so that reading past it is caught.
    char* text = (char*)malloc(textSize ? textSize : 1);
    if (textSize) memcpy(text, nul + 1, textSize);
    for (const std::string& pattern : patterns) {
        if (pattern.empty() || pattern.find(';') != std::string::npos) abort();
        if (MatchesPattern(pattern, text, textSize, false) && !MatchesPattern(pattern, text, textSize, true)) abort();
    }
    if (!MatchesPattern("*", text, textSize, false)) abort();
    LineRules rules;
    rules.include = patterns;
    LinePasses(rules, text, textSize);
    free(text);
    return 0;
}
