// The writer-side tools' line rules, apart from Win32: which lines the
// include and exclude patterns keep, the clock time put in front of a line,
// and the options that set them, shared by doutsend, dbgrelay and
// syslogrelay. Text is Shift-JIS (CP932). Portable.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// Patterns as the user gives them: separated by ';', '*' for any run of
// characters, '?' for one character, letters without regard to ASCII case.
// Empty patterns are dropped.
void AddPatterns(const std::string& patterns, std::vector<std::string>* list);

// Whether `pattern` matches `text` (anywhere in it when `anywhere`, else
// the whole of it). Both are stepped a whole character at a time, so a
// pattern byte never matches the second byte of a two-byte character and
// '?' takes both bytes of one.
bool MatchesPattern(const std::string& pattern, const char* text, size_t length, bool anywhere);

// Whether any pattern of `list` matches.
bool MatchesAnyPattern(const std::vector<std::string>& list, const char* text, size_t length, bool anywhere);

struct LineRules {
    std::vector<std::string> include;  // a line must match one of these (when there are any)
    std::vector<std::string> exclude;  // and none of these
    bool time = false;                 // "hh:mm:ss.mmm " in front
};

// Whether a line passes the filters. Its line end is not part of what the
// patterns see.
bool LinePasses(const LineRules& rules, const char* text, size_t length);

struct ClockTime {
    int hour, minute, second, millisecond;
};

// Appends "hh:mm:ss.mmm " for `time`.
void AppendClockTime(const ClockTime& time, std::string* out);

// Takes --include, --exclude or --time at argv[*i] (moving *i past its
// value): 1 taken, 0 not one of them, -1 its value is missing.
int TakeLineRuleOption(int argc, char** argv, int* i, LineRules* rules);

// The options above, for the tools' usage texts.
#define LINE_RULES_USAGE                                                             \
    "  --include PATTERNS  keep only lines that contain a match of one pattern\n"    \
    "  --exclude PATTERNS  drop lines that contain a match of one pattern\n"         \
    "                      (';' between patterns, '*' any run, '?' one character,\n" \
    "                      letters match either case; both may be repeated)\n"       \
    "  --time              put the clock time in front: \"hh:mm:ss.mmm \"\n"

// What a tool counts of its lines, for the report at exit.
struct LineCounts {
    unsigned long long sent = 0;
    unsigned long long filtered = 0;
};
