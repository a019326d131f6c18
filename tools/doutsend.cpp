// doutsend: sends text to a running monitor's mailslot, from the command line,
// line by line from standard input, or a file's bytes raw.
//
//   doutsend [--host PC] [--slot NAME] TEXT...   the words and CR LF, one message
//   doutsend [--host PC] [--slot NAME]           each stdin line one message
//   doutsend [--host PC] [--slot NAME] --raw FILE  the file as one message
//
// The monitor shows Shift-JIS (CP932). --utf8 converts UTF-8 text to it
// before sending; raw bytes are the default.
#include <windows.h>
#include "dout.h"
#include "filebytes.h"
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include "tovrel_version.h"

struct Options {
    std::string host = ".";
    std::string slot = "dout";
    std::string rawFile;
    bool utf8 = false;
    std::vector<std::string> words;
    std::vector<int> wordArgs;  // where each word stands in argv
};

static void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: doutsend [--host PC] [--slot NAME] [--utf8] [TEXT...]\n"
            "       doutsend [--host PC] [--slot NAME] --raw FILE\n"
            "       doutsend --help | --version\n"
            "Sends TEXT (words joined by spaces, then CR LF) as one message to the mailslot\n"
            "\\\\PC\\mailslot\\NAME (default \\\\.\\mailslot\\dout). Without TEXT, every line of\n"
            "standard input is one message, sent with its own line end. --raw sends the\n"
            "file's bytes unchanged as one message. \"--\" ends the options.\n"
            "The monitor shows Shift-JIS (CP932). Text goes as raw bytes unless --utf8 is\n"
            "given: then UTF-8 text is converted to CP932 first, and characters CP932 lacks\n"
            "become '?' (their number is reported on stderr).\n"
            "Exit codes: 0 sent, 1 the mailslot or file could not be opened or written,\n"
            "2 usage error.\n");
}

// 0 = parsed, 1 = --help, 2 = bad usage (reported), 3 = --version.
static int ParseArguments(int argc, char** argv, Options* options) {
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsDone && arg == "-h") return 1;
        if (optionsDone || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            options->words.push_back(arg);
            options->wordArgs.push_back(i);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
        } else if (arg == "--help") {
            return 1;
        } else if (arg == "--version") {
            return 3;
        } else if (arg == "--utf8") {
            options->utf8 = true;
        } else if (arg == "--host" || arg == "--slot" || arg == "--raw") {
            if (i + 1 >= argc) {
                fprintf(stderr, "doutsend: %s needs a value\n", arg.c_str());
                return 2;
            }
            std::string value = argv[++i];
            if (arg == "--raw") {
                options->rawFile = value;
                continue;
            }
            if (value.empty() || value.size() > DOUT_NAME_MAX) {
                fprintf(stderr, "doutsend: %s must be 1 to %u characters\n", arg.c_str(), (unsigned)DOUT_NAME_MAX);
                return 2;
            }
            (arg == "--host" ? options->host : options->slot) = value;
        } else {
            fprintf(stderr, "doutsend: unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    if (!options->rawFile.empty() && (!options->words.empty() || options->utf8)) {
        fprintf(stderr, "doutsend: --raw FILE goes alone, without TEXT or --utf8\n");
        return 2;
    }
    return 0;
}

// Text to CP932, one character at a time so that those CP932 lacks can be
// counted; each becomes '?', as does what was not UTF-8 to begin with.
static std::string WideToCp932(const std::wstring& text, size_t* lost) {
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

static std::wstring Widen(UINT codePage, const std::string& bytes) {
    int wide = MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
    if (wide <= 0) return std::wstring();
    std::wstring text((size_t)wide, L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), &text[0], wide);
    return text;
}

// The words as the user typed them: from the wide command line, since the
// ANSI one has already lost what its code page lacks.
static std::wstring TypedWords(const Options& options) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring text;
    for (size_t i = 0; i < options.words.size(); ++i) {
        if (i) text += L' ';
        int at = options.wordArgs[i];
        text += wide && at < count ? std::wstring(wide[at]) : Widen(CP_ACP, options.words[i]);
    }
    if (wide) LocalFree(wide);
    return text;
}

static size_t lostCharacters;  // what --utf8 could not carry, for the report at the end

// A line of standard input as it goes out.
static std::string OutgoingLine(const std::string& line, bool utf8) {
    return utf8 ? WideToCp932(Widen(CP_UTF8, line), &lostCharacters) : line;
}

static bool SendMessageBytes(const std::string& bytes) {
    if (bytes.size() > 0x7FFFFFFF) {
        fprintf(stderr, "doutsend: a message of %zu bytes is too long\n", bytes.size());
        return false;
    }
    if (DoutWrite(bytes.data(), bytes.size())) return true;
    fprintf(stderr, "doutsend: writing to %s failed (error %lu)\n", DoutTargetName(), GetLastError());
    return false;
}

// Sends each line as it arrives, line end included; a last line without one
// goes as it is.
static bool SendLines(bool utf8) {
    std::string line;
    int c;
    while ((c = getchar()) != EOF) {
        line += (char)c;
        if (c != '\n') continue;
        if (!SendMessageBytes(OutgoingLine(line, utf8))) return false;
        line.clear();
    }
    return line.empty() || SendMessageBytes(OutgoingLine(line, utf8));
}

int main(int argc, char** argv) {
    Options options;
    int parsed = ParseArguments(argc, argv, &options);
    if (parsed == 1) {
        PrintUsage(stdout);
        return 0;
    }
    if (parsed == 3) {
        printf("doutsend %s\n", TOVREL_VERSION);
        return 0;
    }
    if (parsed != 0) {
        PrintUsage(stderr);
        return 2;
    }
    std::string raw;
    if (!options.rawFile.empty() && ReadFileBytes(options.rawFile.c_str(), &raw) != FILE_READ_OK) {
        fprintf(stderr, "doutsend: cannot read %s\n", options.rawFile.c_str());
        return 1;
    }
    DoutSetTarget(options.host.c_str(), options.slot.c_str());  // both checked above
    if (!DoutConnect()) {
        fprintf(stderr, "doutsend: cannot open mailslot %s (error %lu); is the monitor running?\n", DoutTargetName(),
                GetLastError());
        return 1;
    }
    bool ok;
    if (!options.rawFile.empty()) {
        ok = SendMessageBytes(raw);
    } else if (options.utf8 && !options.words.empty()) {
        ok = SendMessageBytes(WideToCp932(TypedWords(options) + L"\r\n", &lostCharacters));
    } else if (!options.words.empty()) {
        std::string text;
        for (size_t i = 0; i < options.words.size(); ++i) text += (i ? " " : "") + options.words[i];
        ok = SendMessageBytes(text + "\r\n");
    } else {
        _setmode(_fileno(stdin), _O_BINARY);
        ok = SendLines(options.utf8);
    }
    if (lostCharacters)
        fprintf(stderr, "doutsend: %zu character%s not in CP932 sent as '?'\n", lostCharacters,
                lostCharacters == 1 ? "" : "s");
    return ok ? 0 : 1;
}
