// The writer-side tools' line rules (see linerules.h).
#include "linerules.h"
#include <stdio.h>
#include <string.h>
#include "sjis.h"

void AddPatterns(const std::string& patterns, std::vector<std::string>* list) {
    size_t start = 0;
    for (;;) {
        size_t end = patterns.find(';', start);  // ';' is never the second byte of a character
        if (end == std::string::npos) end = patterns.size();
        if (end > start) list->push_back(patterns.substr(start, end - start));
        if (end == patterns.size()) return;
        start = end + 1;
    }
}

// Bytes of the character at `at`: two for a lead byte with a byte after it.
static size_t CharAt(const char* text, size_t length, size_t at) {
    return IsShiftJisLeadByte((unsigned char)text[at]) && at + 1 < length ? 2 : 1;
}

static char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

static bool SameChar(const char* a, size_t aBytes, const char* b, size_t bBytes) {
    if (aBytes != bBytes) return false;
    if (aBytes == 1) return FoldAscii(*a) == FoldAscii(*b);
    return memcmp(a, b, aBytes) == 0;
}

bool MatchesPattern(const std::string& pattern, const char* text, size_t length, bool anywhere) {
    // Greedy with one back-track point, the last '*': linear in practice and
    // at worst pattern length times text length. "Anywhere" is a '*' at both
    // ends.
    const char* p = pattern.data();
    size_t m = pattern.size(), pi = 0, ti = 0;
    bool star = anywhere;
    size_t starPi = 0, starTi = 0;
    for (;;) {
        if (pi < m && p[pi] == '*') {
            while (pi < m && p[pi] == '*') ++pi;
            star = true;
            starPi = pi;
            starTi = ti;
            continue;
        }
        if (pi == m && (ti == length || anywhere)) return true;
        if (ti < length && pi < m) {
            size_t tBytes = CharAt(text, length, ti);
            size_t pBytes = CharAt(p, m, pi);
            if ((pBytes == 1 && p[pi] == '?') || SameChar(p + pi, pBytes, text + ti, tBytes)) {
                pi += pBytes;
                ti += tBytes;
                continue;
            }
        }
        // Mismatch (or the pattern ran out before the text): the last '*'
        // takes one more character.
        if (!star || starTi >= length) return false;
        starTi += CharAt(text, length, starTi);
        ti = starTi;
        pi = starPi;
    }
}

bool MatchesAnyPattern(const std::vector<std::string>& list, const char* text, size_t length, bool anywhere) {
    for (const std::string& pattern : list)
        if (MatchesPattern(pattern, text, length, anywhere)) return true;
    return false;
}

bool LinePasses(const LineRules& rules, const char* text, size_t length) {
    while (length && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
    if (!rules.include.empty() && !MatchesAnyPattern(rules.include, text, length, true)) return false;
    return !MatchesAnyPattern(rules.exclude, text, length, true);
}

void AppendClockTime(const ClockTime& time, std::string* out) {
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", time.hour % 100, time.minute % 100, time.second % 100,
             time.millisecond % 1000);
    out->append(stamp);
}

int TakeLineRuleOption(int argc, char** argv, int* i, LineRules* rules) {
    const char* arg = argv[*i];
    if (strcmp(arg, "--time") == 0) {
        rules->time = true;
        return 1;
    }
    bool include = strcmp(arg, "--include") == 0;
    if (!include && strcmp(arg, "--exclude") != 0) return 0;
    if (*i + 1 >= argc) return -1;
    AddPatterns(argv[++*i], include ? &rules->include : &rules->exclude);
    return 1;
}
