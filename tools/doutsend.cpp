// doutsend: sends text to a running monitor's mailslot, from the command line,
// line by line from standard input, or a file's bytes raw.
//
//   doutsend [--host PC] [--slot NAME] TEXT...   the words and CR LF, one message
//   doutsend [--host PC] [--slot NAME]           each stdin line one message
//   doutsend [--host PC] [--slot NAME] --raw FILE  the file as one message
//   doutsend [--host PC] [--slot NAME] --follow FILE  each line appended to FILE
//
// The monitor shows Shift-JIS (CP932). --utf8 converts UTF-8 text to it
// before sending; raw bytes are the default. Lines (of standard input or a
// followed file) pass the line rules: --include, --exclude, --time.
#include <windows.h>
#include "dout.h"
#include "filebytes.h"
#include "linerules.h"
#include "syslogcore.h"
#include "syslogsend.h"
#include "textconv.h"
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
    std::string followFile;
    bool fromStart = false;
    bool utf8 = false;
    LineRules rules;
    bool countLines = false;  // report the line counts at exit
    std::string syslog;       // "HOST[:PORT]": syslog messages instead of the mailslot
    bool tcp = false;
    std::vector<std::string> words;
    std::vector<int> wordArgs;  // where each word stands in argv
};

static void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: doutsend [--host PC] [--slot NAME] [--utf8] [TEXT...]\n"
            "       doutsend [--host PC] [--slot NAME] --raw FILE\n"
            "       doutsend [--host PC] [--slot NAME] [--utf8] [rules] --follow FILE [--from-start]\n"
            "       doutsend --syslog HOST[:PORT] [--tcp] [options as above, but --raw]\n"
            "       doutsend --help | --version\n"
            "Sends TEXT (words joined by spaces, then CR LF) as one message to the mailslot\n"
            "\\\\PC\\mailslot\\NAME (default \\\\.\\mailslot\\dout). Without TEXT, every line of\n"
            "standard input is one message, sent with its own line end. --raw sends the\n"
            "file's bytes unchanged as one message. \"--\" ends the options.\n"
            "--follow sends each line appended to FILE from now on (--from-start: what it\n"
            "holds first), as tail -F does: through truncation, rotation and deletion, and\n"
            "waiting for a FILE that does not exist yet; Ctrl+C stops it. A last line\n"
            "without its line end goes after 1 s without growth.\n"
            "--syslog sends each message as an RFC 5424 syslog message (text as UTF-8, without\n"
            "its line end) to a syslogrelay or any syslog server, over UDP (port 514 by\n"
            "default) or, with --tcp, TCP.\n"
            "Rules for the lines of standard input and --follow:\n" LINE_RULES_USAGE
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
        if (!optionsDone) {
            int taken = TakeLineRuleOption(argc, argv, &i, &options->rules);
            if (taken < 0) {
                fprintf(stderr, "doutsend: %s needs a value\n", arg.c_str());
                return 2;
            }
            if (taken) continue;
        }
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
        } else if (arg == "--from-start") {
            options->fromStart = true;
        } else if (arg == "--tcp") {
            options->tcp = true;
        } else if (arg == "--host" || arg == "--slot" || arg == "--raw" || arg == "--follow" || arg == "--syslog") {
            if (i + 1 >= argc) {
                fprintf(stderr, "doutsend: %s needs a value\n", arg.c_str());
                return 2;
            }
            std::string value = argv[++i];
            if (arg == "--raw" || arg == "--follow" || arg == "--syslog") {
                (arg == "--raw" ? options->rawFile : arg == "--follow" ? options->followFile : options->syslog) = value;
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
    if (!options->followFile.empty() && (!options->words.empty() || !options->rawFile.empty())) {
        fprintf(stderr, "doutsend: --follow FILE goes without TEXT or --raw\n");
        return 2;
    }
    if (!options->syslog.empty() && !options->rawFile.empty()) {
        fprintf(stderr, "doutsend: --raw FILE goes to a mailslot, not --syslog\n");
        return 2;
    }
    std::string syslogHost;
    uint16_t syslogPort;
    if (!options->syslog.empty() && !ParseSyslogTarget(options->syslog, &syslogHost, &syslogPort)) {
        fprintf(stderr, "doutsend: --syslog %s is not HOST[:PORT]\n", options->syslog.c_str());
        return 2;
    }
    if (options->tcp && options->syslog.empty()) {
        fprintf(stderr, "doutsend: --tcp goes with --syslog\n");
        return 2;
    }
    if (options->fromStart && options->followFile.empty()) {
        fprintf(stderr, "doutsend: --from-start goes with --follow\n");
        return 2;
    }
    const LineRules& rules = options->rules;
    bool lineRules = !rules.include.empty() || !rules.exclude.empty() || rules.time;
    options->countLines =
        !options->followFile.empty() || (lineRules && options->words.empty() && options->rawFile.empty());
    return 0;
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
static LineCounts lineCounts;
static unsigned long long undelivered;  // --follow: lines the monitor was not there for
static bool monitorAway;                // --follow: reported gone, not yet back

static bool viaSyslog;  // --syslog: messages go to syslogClient
static SyslogClient syslogClient;
static std::string computerName;

// One message as syslog: this PC, doutsend and the text without its line end,
// as UTF-8.
static bool SendAsSyslog(const std::string& bytes) {
    std::string text = bytes;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    UtcTime now;
    UtcNow(&now);
    return SendSyslog(&syslogClient, FormatSyslog5424(SYSLOG_SENT_SEVERITY, now, computerName, "doutsend",
                                                      GetCurrentProcessId(), AnsiToUtf8(text), false));
}

static bool SendMessageBytes(const std::string& bytes) {
    if (bytes.size() > 0x7FFFFFFF) {
        fprintf(stderr, "doutsend: a message of %zu bytes is too long\n", bytes.size());
        return false;
    }
    if (viaSyslog) {
        if (SendAsSyslog(bytes)) return true;
        fprintf(stderr, "doutsend: sending to %s failed\n", syslogClient.target.c_str());
        return false;
    }
    if (DoutWrite(bytes.data(), bytes.size())) return true;
    fprintf(stderr, "doutsend: writing to %s failed (error %lu)\n", DoutTargetName(), GetLastError());
    return false;
}

// --follow outlives the monitor: while it is away lines are counted and
// dropped (dout.h tries the slot again at most once a second; the syslog
// client reconnects as often). Whether the line went out.
static bool SendFollowedBytes(const std::string& bytes) {
    if (viaSyslog) {
        if (SendAsSyslog(bytes)) return true;
        ++undelivered;
        return false;
    }
    if (DoutWrite(bytes.data(), bytes.size())) {
        if (monitorAway)
            fprintf(stderr, "doutsend: sending to %s again; %llu line%s dropped meanwhile\n", DoutTargetName(),
                    undelivered, undelivered == 1 ? " was" : "s were");
        monitorAway = false;
        return true;
    }
    if (!monitorAway)
        fprintf(stderr, "doutsend: %s is gone (error %lu); lines are dropped until it returns\n", DoutTargetName(),
                GetLastError());
    monitorAway = true;
    ++undelivered;
    return false;
}

// One line of standard input or of a followed file, line end included, as it
// goes out: converted, filtered, stamped with the time it was read. True
// unless the send failed.
static bool SendLine(const Options& options, const std::string& line, const ClockTime& readAt) {
    std::string text = options.utf8 ? WideToCp932(Widen(CP_UTF8, line), &lostCharacters) : line;
    if (!LinePasses(options.rules, text.data(), text.size())) {
        ++lineCounts.filtered;
        return true;
    }
    std::string message;
    if (options.rules.time) AppendClockTime(readAt, &message);
    message += text;
    bool follow = !options.followFile.empty();
    bool delivered = follow ? SendFollowedBytes(message) : SendMessageBytes(message);
    if (delivered) ++lineCounts.sent;
    return delivered || follow;
}

static ClockTime LocalClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return ClockTime{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

// Sends each line as it arrives, line end included; a last line without one
// goes as it is.
static bool SendLines(const Options& options) {
    std::string line;
    int c;
    while ((c = getchar()) != EOF) {
        line += (char)c;
        if (c != '\n') continue;
        if (!SendLine(options, line, LocalClock())) return false;
        line.clear();
    }
    return line.empty() || SendLine(options, line, LocalClock());
}

// --- following a file --------------------------------------------------------

#define FOLLOW_POLL_MS    200          // how often the file is looked at
#define FOLLOW_PARTIAL_MS 1000         // a last line without its end waits this long without growth
#define FOLLOW_CHUNK      (64u << 10)  // read at most this much at a time

static HANDLE stopFollowing;  // set by Ctrl+C and the console's close

static BOOL WINAPI OnConsoleControl(DWORD) {
    SetEvent(stopFollowing);
    return TRUE;
}

struct FollowedFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION identity;
    uint64_t position = 0;
    std::string partial;  // the start of a line whose end has not come yet
    DWORD grewAt = 0;
};

// Opens FILE so that its writer can go on writing, renaming and deleting it.
static HANDLE OpenShared(const char* path, BY_HANDLE_FILE_INFORMATION* identity) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && !GetFileInformationByHandle(file, identity)) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// Whether the name no longer leads to the file held open: deleted (or about
// to be, once the last handle closes) or replaced by another file. A name
// that cannot be opened for another reason (a writer that shares nothing)
// still counts as the same file.
static bool FileWasReplaced(const char* path, const FollowedFile& followed) {
    FILE_STANDARD_INFO standard;
    if (GetFileInformationByHandleEx(followed.handle, FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending)
        return true;
    BY_HANDLE_FILE_INFORMATION now;
    HANDLE file = OpenShared(path, &now);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    CloseHandle(file);
    return now.dwVolumeSerialNumber != followed.identity.dwVolumeSerialNumber ||
           now.nFileIndexHigh != followed.identity.nFileIndexHigh ||
           now.nFileIndexLow != followed.identity.nFileIndexLow;
}

// Sends the complete lines in `followed.partial`, keeping the rest.
static bool SendCompleteLines(const Options& options, FollowedFile* followed) {
    ClockTime readAt = LocalClock();
    size_t start = 0, end;
    while ((end = followed->partial.find('\n', start)) != std::string::npos) {
        if (!SendLine(options, followed->partial.substr(start, end + 1 - start), readAt)) return false;
        start = end + 1;
    }
    followed->partial.erase(0, start);
    return true;
}

static bool SendPartialLine(const Options& options, FollowedFile* followed) {
    if (followed->partial.empty()) return true;
    bool sent = SendLine(options, followed->partial, LocalClock());
    followed->partial.clear();
    return sent;
}

// Reads what was appended since the last look; true while there may be more
// to read at once. A file that shrank is read again from its start.
static bool ReadAppended(const Options& options, FollowedFile* followed, bool* failed) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(followed->handle, &size)) return false;
    if ((uint64_t)size.QuadPart < followed->position) {
        fprintf(stderr, "doutsend: %s shrank; reading it from its start\n", options.followFile.c_str());
        *failed = !SendPartialLine(options, followed);
        followed->position = 0;
    }
    if ((uint64_t)size.QuadPart == followed->position) return false;
    uint64_t wanted = (uint64_t)size.QuadPart - followed->position;
    static char chunk[FOLLOW_CHUNK];
    DWORD count = (DWORD)(wanted < FOLLOW_CHUNK ? wanted : FOLLOW_CHUNK), got = 0;
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)followed->position;
    if (!SetFilePointerEx(followed->handle, at, nullptr, FILE_BEGIN) ||
        !ReadFile(followed->handle, chunk, count, &got, nullptr) || got == 0)
        return false;
    followed->position += got;
    followed->partial.append(chunk, got);
    followed->grewAt = GetTickCount();
    if (!SendCompleteLines(options, followed)) *failed = true;
    return got == count && wanted > count;
}

// Follows FILE until Ctrl+C. False when a line could not be sent.
static bool FollowFile(const Options& options) {
    const char* path = options.followFile.c_str();
    stopFollowing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stopFollowing || !SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
        fprintf(stderr, "doutsend: cannot follow %s (error %lu)\n", path, GetLastError());
        return false;
    }
    FollowedFile followed;
    bool atStart = !options.fromStart;  // the first file found starts at its end, later ones at their start
    bool waiting = false, failed = false;
    while (!failed) {
        if (followed.handle == INVALID_HANDLE_VALUE) {
            followed.handle = OpenShared(path, &followed.identity);
            LARGE_INTEGER size = {};
            if (followed.handle == INVALID_HANDLE_VALUE) {
                if (!waiting) fprintf(stderr, "doutsend: waiting for %s\n", path);
                waiting = true;
                atStart = false;
            } else if (!GetFileSizeEx(followed.handle, &size)) {
                CloseHandle(followed.handle);  // tried again at the next look, from the same place
                followed.handle = INVALID_HANDLE_VALUE;
            } else {
                followed.position = atStart ? (uint64_t)size.QuadPart : 0;
                fprintf(stderr, "doutsend: following %s from its %s\n", path, atStart ? "end" : "start");
                waiting = false;
                atStart = false;
            }
        }
        bool more = false;
        if (followed.handle != INVALID_HANDLE_VALUE) {
            more = ReadAppended(options, &followed, &failed);
            if (!more && !followed.partial.empty() && GetTickCount() - followed.grewAt >= FOLLOW_PARTIAL_MS)
                failed |= !SendPartialLine(options, &followed);
            if (!more && FileWasReplaced(path, followed)) {
                // What was written between the last read and the rename still counts.
                while (!failed && ReadAppended(options, &followed, &failed)) {}
                failed |= !SendPartialLine(options, &followed);
                CloseHandle(followed.handle);
                followed.handle = INVALID_HANDLE_VALUE;
                more = true;  // look for the new file at once
            }
        }
        if (WaitForSingleObject(stopFollowing, more ? 0 : FOLLOW_POLL_MS) == WAIT_OBJECT_0) break;
    }
    if (followed.handle != INVALID_HANDLE_VALUE) CloseHandle(followed.handle);
    return !failed;
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
    if (!options.syslog.empty()) {
        std::string error;
        syslogClient.tool = "doutsend";
        if (!OpenSyslogClient(&syslogClient, options.syslog, options.tcp, &error)) {
            fprintf(stderr, "doutsend: --syslog %s: %s\n", options.syslog.c_str(), error.c_str());
            return 1;
        }
        computerName = ThisComputerName();
        viaSyslog = true;
    } else {
        DoutSetTarget(options.host.c_str(), options.slot.c_str());  // both checked above
        if (!DoutConnect()) {
            fprintf(stderr, "doutsend: cannot open mailslot %s (error %lu); is the monitor running?\n",
                    DoutTargetName(), GetLastError());
            if (options.host != ".") fprintf(stderr, "doutsend: " REMOTE_MAILSLOT_HINT "\n");
            return 1;
        }
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
    } else if (!options.followFile.empty()) {
        ok = FollowFile(options);
    } else {
        _setmode(_fileno(stdin), _O_BINARY);
        ok = SendLines(options);
    }
    if (lostCharacters)
        fprintf(stderr, "doutsend: %zu character%s not in CP932 sent as '?'\n", lostCharacters,
                lostCharacters == 1 ? "" : "s");
    if (options.countLines)
        fprintf(stderr, "doutsend: %llu line%s sent, %llu dropped by the filters\n", lineCounts.sent,
                lineCounts.sent == 1 ? "" : "s", lineCounts.filtered);
    if (!ok && options.host != "." && options.syslog.empty()) fprintf(stderr, "doutsend: " REMOTE_MAILSLOT_HINT "\n");
    CloseSyslogClient(&syslogClient);
    return ok ? 0 : 1;
}
