// doutsend: sends text to a running monitor's mailslot, from the command line,
// line by line from standard input, or a file's bytes raw.
//
//   doutsend [--host PC] [--slot NAME] TEXT...   the words and CR LF, one message
//   doutsend [--host PC] [--slot NAME]           each stdin line one message
//   doutsend [--host PC] [--slot NAME] --raw FILE  the file as one message
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

static const size_t maxNameLength = 63;

struct Options {
    std::string host = ".";
    std::string slot = "dout";
    std::string rawFile;
    std::vector<std::string> words;
};

static void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: doutsend [--host PC] [--slot NAME] [TEXT...]\n"
            "       doutsend [--host PC] [--slot NAME] --raw FILE\n"
            "Sends TEXT (words joined by spaces, then CR LF) as one message to the mailslot\n"
            "\\\\PC\\mailslot\\NAME (default \\\\.\\mailslot\\dout). Without TEXT, every line of\n"
            "standard input is one message, sent with its own line end. --raw sends the\n"
            "file's bytes unchanged as one message. \"--\" ends the options.\n");
}

// 0 = parsed, 1 = --help, 2 = bad usage (reported).
static int ParseArguments(int argc, char** argv, Options* options) {
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsDone || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            options->words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
        } else if (arg == "--help") {
            return 1;
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
            if (value.empty() || value.size() > maxNameLength) {
                fprintf(stderr, "doutsend: %s must be 1 to %u characters\n", arg.c_str(), (unsigned)maxNameLength);
                return 2;
            }
            (arg == "--host" ? options->host : options->slot) = value;
        } else {
            fprintf(stderr, "doutsend: unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    if (!options->rawFile.empty() && !options->words.empty()) {
        fprintf(stderr, "doutsend: give either TEXT or --raw FILE, not both\n");
        return 2;
    }
    return 0;
}

static bool SendMessageBytes(HANDLE slot, const std::string& bytes, const std::string& name) {
    DWORD written = 0;
    if (bytes.size() > 0x7FFFFFFF) {
        fprintf(stderr, "doutsend: a message of %zu bytes is too long\n", bytes.size());
        return false;
    }
    if (WriteFile(slot, bytes.data(), (DWORD)bytes.size(), &written, nullptr) && written == bytes.size())
        return true;
    fprintf(stderr, "doutsend: writing to %s failed (error %lu)\n", name.c_str(), GetLastError());
    return false;
}

static bool ReadWholeFile(const std::string& path, std::string* bytes) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, n);
    bool ok = !ferror(file);
    fclose(file);
    return ok;
}

// Sends each line as it arrives, line end included; a last line without one
// goes as it is.
static bool SendLines(HANDLE slot, const std::string& name) {
    std::string line;
    int c;
    while ((c = getchar()) != EOF) {
        line += (char)c;
        if (c != '\n') continue;
        if (!SendMessageBytes(slot, line, name)) return false;
        line.clear();
    }
    return line.empty() || SendMessageBytes(slot, line, name);
}

int main(int argc, char** argv) {
    Options options;
    int parsed = ParseArguments(argc, argv, &options);
    if (parsed == 1) {
        PrintUsage(stdout);
        return 0;
    }
    if (parsed != 0) {
        PrintUsage(stderr);
        return 2;
    }
    std::string raw;
    if (!options.rawFile.empty() && !ReadWholeFile(options.rawFile, &raw)) {
        fprintf(stderr, "doutsend: cannot read %s\n", options.rawFile.c_str());
        return 1;
    }
    std::string name = "\\\\" + options.host + "\\mailslot\\" + options.slot;
    HANDLE slot = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "doutsend: cannot open mailslot %s (error %lu); is the monitor running?\n",
                name.c_str(), GetLastError());
        return 1;
    }
    bool ok;
    if (!options.rawFile.empty()) {
        ok = SendMessageBytes(slot, raw, name);
    } else if (!options.words.empty()) {
        std::string text;
        for (size_t i = 0; i < options.words.size(); ++i) text += (i ? " " : "") + options.words[i];
        ok = SendMessageBytes(slot, text + "\r\n", name);
    } else {
        _setmode(_fileno(stdin), _O_BINARY);
        ok = SendLines(slot, name);
    }
    CloseHandle(slot);
    return ok ? 0 : 1;
}
