// dbgrelay: reads the system's debug-output channel (what programs write with
// OutputDebugString) and sends every string on to a monitor's mailslot, or as
// a syslog message to a syslogrelay on another PC.
//
// Three threads. The capture thread copies each string out of the shared
// buffer and hands the buffer back at once, so a writer waits for the copy
// only; the send thread (sender.h) sends the waiting lines in order; the main
// thread owns the hidden stop window (WM_CLOSE, as taskkill sends it) and the
// orderly stop that releases the channel for the next reader.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <unordered_map>
#include <vector>
#include "linerules.h"
#include "names.h"
#include "relaycore.h"
#include "sender.h"
#include "settings.h"
#include "syslogcore.h"
#include "textconv.h"
#include "tovrel_version.h"

static const size_t kMaxNameLength = SETTINGS_NAME_SIZE - 1;  // what the monitor's name fields hold

#define RELAY_WINDOW_CLASS "TovrelRelay"

struct Options {
    std::string host = ".";
    std::string slot = "dout";
    RelayFormat format;
    bool global = false;
    LineRules rules;
    std::vector<std::string> processes;          // keep only writers whose executable matches one
    std::vector<std::string> excludedProcesses;  // and none of these
    std::string syslog;                          // "HOST[:PORT]": syslog messages instead of the mailslot
    bool tcp = false;
};

static Options options;
static char slotPath[MAILSLOT_NAME_SIZE];

// The channel, owned while the relay runs.
static HANDLE bufferMapping, bufferReady, dataReady;
static const unsigned char* sharedBuffer;
static HANDLE stopCapture;  // set when the capture thread is to end
static SyslogClient syslogClient;
static std::string computerName;  // the syslog messages' host

static void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: dbgrelay [--host PC] [--slot NAME] [--pid | --name] [--raw] [--global]\n"
            "                [--include P] [--exclude P] [--time] [--process P] [--exclude-process P]\n"
            "       dbgrelay --syslog HOST[:PORT] [--tcp] [options as above]\n"
            "       dbgrelay --help | --version\n"
            "Reads what programs write with OutputDebugString and sends each string to the\n"
            "mailslot \\\\PC\\mailslot\\NAME (default \\\\.\\mailslot\\dout), where the monitor\n"
            "shows it. A string that does not end its line gets CR LF, unless --raw.\n"
            "  --pid     puts the writer's process id in front: \"[1234] \"\n"
            "  --name    puts its id and executable name in front: \"[1234 app.exe] \"\n"
            "  --global  reads the output of services (the Global\\ objects); needs the\n"
            "            SeCreateGlobalPrivilege privilege (run as administrator)\n" LINE_RULES_USAGE
            "  --process PATTERNS          keep only the strings of writers whose executable\n"
            "                              name matches one pattern (\"myapp.exe;tool*.exe\")\n"
            "  --exclude-process PATTERNS  drop the strings of writers whose name matches one\n"
            "  --syslog HOST[:PORT]  sends each string as an RFC 5424 syslog message (app: the\n"
            "            writer's executable, text as UTF-8) to a syslogrelay or any syslog\n"
            "            server instead (UDP, port 514 by default); --tcp uses TCP\n"
            "The patterns see the line as the monitor would show it, without the time.\n"
            "Runs until Ctrl+C, the console's close, or WM_CLOSE (taskkill without /F).\n"
            "One program at a time can read the debug output. While the monitor is not\n"
            "there, strings are counted and dropped; the count is reported when it returns.\n"
            "Exit codes: 0 stopped, 1 the debug output could not be taken, 2 usage error.\n");
}

// 0 = run, 1 = --help, 2 = bad usage (reported), 3 = --version.
static int ParseArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return 1;
        if (arg == "--version") return 3;
        int taken = TakeLineRuleOption(argc, argv, &i, &options.rules);
        if (taken < 0 || ((arg == "--process" || arg == "--exclude-process") && i + 1 >= argc)) {
            fprintf(stderr, "dbgrelay: %s needs a value\n", arg.c_str());
            return 2;
        }
        if (taken) continue;
        if (arg == "--process" || arg == "--exclude-process") {
            AddPatterns(argv[++i], arg == "--process" ? &options.processes : &options.excludedProcesses);
        } else if (arg == "--pid") {
            options.format.pid = true;
        } else if (arg == "--name") {
            options.format.name = true;
        } else if (arg == "--raw") {
            options.format.raw = true;
        } else if (arg == "--global") {
            options.global = true;
        } else if (arg == "--tcp") {
            options.tcp = true;
        } else if (arg == "--syslog") {
            if (i + 1 >= argc) {
                fprintf(stderr, "dbgrelay: --syslog needs HOST[:PORT]\n");
                return 2;
            }
            options.syslog = argv[++i];
            std::string host;
            uint16_t port;
            if (!ParseSyslogTarget(options.syslog, &host, &port)) {
                fprintf(stderr, "dbgrelay: --syslog %s is not HOST[:PORT]\n", options.syslog.c_str());
                return 2;
            }
        } else if (arg == "--host" || arg == "--slot") {
            if (i + 1 >= argc) {
                fprintf(stderr, "dbgrelay: %s needs a value\n", arg.c_str());
                return 2;
            }
            std::string value = argv[++i];
            if (value.empty() || value.size() > kMaxNameLength) {
                fprintf(stderr, "dbgrelay: %s must be 1 to %u characters\n", arg.c_str(), (unsigned)kMaxNameLength);
                return 2;
            }
            (arg == "--host" ? options.host : options.slot) = value;
        } else {
            fprintf(stderr, "dbgrelay: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (options.tcp && options.syslog.empty()) {
        fprintf(stderr, "dbgrelay: --tcp goes with --syslog\n");
        return 2;
    }
    FormatMailslotName(options.host.c_str(), options.slot.c_str(), slotPath, sizeof slotPath);
    return 0;
}

// --- the channel ---------------------------------------------------------

// Creates one of the channel's objects; null (reported) when it cannot be
// created or another reader has it already.
static HANDLE CreateChannelObject(HANDLE created, const std::string& name) {
    DWORD error = GetLastError();
    if (created && error == ERROR_ALREADY_EXISTS) {
        // Only looked at, never touched: the other reader keeps its state.
        CloseHandle(created);
        fprintf(stderr, "dbgrelay: another program already reads the debug output (%s exists); close it first\n",
                name.c_str());
        return nullptr;
    }
    if (!created) {
        if (error == ERROR_ACCESS_DENIED && options.global)
            fprintf(stderr,
                    "dbgrelay: cannot create %s (error 5): reading the services' output needs the "
                    "SeCreateGlobalPrivilege privilege (run as administrator)\n",
                    name.c_str());
        else
            fprintf(stderr, "dbgrelay: cannot create %s (error %lu)\n", name.c_str(), error);
    }
    return created;
}

static void CloseChannel() {
    if (sharedBuffer) UnmapViewOfFile(sharedBuffer);
    HANDLE* handles[] = {&bufferMapping, &bufferReady, &dataReady};
    for (HANDLE* handle : handles) {
        if (*handle) CloseHandle(*handle);
        *handle = nullptr;
    }
    sharedBuffer = nullptr;
}

static bool OpenChannel() {
    // Writers of any account must be able to open the objects (services, with
    // --global), so they carry no DACL; nothing read from them is trusted.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES security = {sizeof security, &descriptor, FALSE};
    std::string prefix = options.global ? "Global\\" : "";
    std::string names[] = {prefix + "DBWIN_BUFFER", prefix + "DBWIN_BUFFER_READY", prefix + "DBWIN_DATA_READY"};
    bufferMapping = CreateChannelObject(
        CreateFileMappingA(INVALID_HANDLE_VALUE, &security, PAGE_READWRITE, 0, DBWIN_BUFFER_BYTES, names[0].c_str()),
        names[0]);
    if (bufferMapping)
        bufferReady = CreateChannelObject(CreateEventA(&security, FALSE, FALSE, names[1].c_str()), names[1]);
    if (bufferReady) dataReady = CreateChannelObject(CreateEventA(&security, FALSE, FALSE, names[2].c_str()), names[2]);
    if (dataReady)
        sharedBuffer = static_cast<const unsigned char*>(MapViewOfFile(bufferMapping, FILE_MAP_READ, 0, 0, 0));
    if (!sharedBuffer) {
        if (dataReady) fprintf(stderr, "dbgrelay: cannot map %s (error %lu)\n", names[0].c_str(), GetLastError());
        CloseChannel();
        return false;
    }
    return true;
}

// --- the capture thread ----------------------------------------------------

static std::unordered_map<uint32_t, std::string> executableNames;

// The writer's executable name, looked up once per process id.
static const std::string& NameOfProcess(uint32_t pid) {
    auto known = executableNames.find(pid);
    if (known != executableNames.end()) return known->second;
    if (executableNames.size() >= RELAY_NAME_CACHE_SIZE) executableNames.clear();
    std::string name = "?";
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process) {
        char path[MAX_PATH];
        DWORD size = sizeof path;
        if (QueryFullProcessImageNameA(process, 0, path, &size)) name = ExecutableName(std::string(path, size));
        CloseHandle(process);
    }
    return executableNames[pid] = name;
}

static unsigned long long filteredStrings;  // the capture thread's count

// Whether the writer passes --process and --exclude-process.
static bool WriterPasses(const std::string& exeName) {
    if (!options.processes.empty() && !MatchesAnyPattern(options.processes, exeName.data(), exeName.size(), false))
        return false;
    return !MatchesAnyPattern(options.excludedProcesses, exeName.data(), exeName.size(), false);
}

// The syslog message a line becomes: the writer as the app, its text
// without the line end, as UTF-8.
static std::string SyslogMessageOf(const DebugString& string, const std::string& line) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    UtcTime now;
    UtcNow(&now);
    return FormatSyslog5424(SYSLOG_SENT_SEVERITY, now, computerName, NameOfProcess(string.pid), string.pid,
                            AnsiToUtf8(text), false);
}

static DWORD WINAPI CaptureThread(void*) {
    HANDLE waits[] = {dataReady, stopCapture};
    static unsigned char copy[DBWIN_BUFFER_BYTES];
    bool needName = options.format.name || !options.processes.empty() || !options.excludedProcesses.empty();
    SetEvent(bufferReady);
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        memcpy(copy, sharedBuffer, sizeof copy);
        SetEvent(bufferReady);
        // Everything below runs after the writer has its buffer back.
        SYSTEMTIME capturedAt;
        GetLocalTime(&capturedAt);
        DebugString string;
        ReadDebugBuffer(copy, sizeof copy, &string);
        std::string exeName = needName ? NameOfProcess(string.pid) : std::string();
        std::string line;
        if (options.rules.time)
            AppendClockTime(
                ClockTime{capturedAt.wHour, capturedAt.wMinute, capturedAt.wSecond, capturedAt.wMilliseconds}, &line);
        size_t stamp = line.size();
        AppendRelayLine(options.format, string, exeName, &line);
        if (!WriterPasses(exeName) || !LinePasses(options.rules, line.data() + stamp, line.size() - stamp)) {
            ++filteredStrings;
            continue;
        }
        QueueLine(options.syslog.empty() ? std::move(line) : SyslogMessageOf(string, line));
    }
    return 0;
}

// --- the main thread -----------------------------------------------------

static void StopThreads(HANDLE capture) {
    SetEvent(stopCapture);
    StopQueueing();
    WaitForSingleObject(capture, INFINITE);
    // The channel is free for the next reader before the last lines go out.
    CloseChannel();
    unsigned long long sent = StopSender(RELAY_STOP_WAIT_MS);
    fprintf(stderr, "dbgrelay: %llu string%s sent, %llu dropped by the filters, %llu undelivered\n", sent,
            sent == 1 ? "" : "s", filteredStrings, SenderDropped());
}

int main(int argc, char** argv) {
    int parsed = ParseArguments(argc, argv);
    if (parsed == 1) {
        PrintUsage(stdout);
        return 0;
    }
    if (parsed == 3) {
        printf("dbgrelay %s\n", TOVREL_VERSION);
        return 0;
    }
    if (parsed != 0) {
        PrintUsage(stderr);
        return 2;
    }
    stopCapture = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stopCapture || !CreateStopWindow(RELAY_WINDOW_CLASS, "dbgrelay")) {
        fprintf(stderr, "dbgrelay: cannot start (error %lu)\n", GetLastError());
        return 1;
    }
    SenderSetup sender = {"dbgrelay", "string", slotPath, options.host == ".", options.host != "."};
    if (!options.syslog.empty()) {
        std::string error;
        syslogClient.tool = "dbgrelay";
        if (!OpenSyslogClient(&syslogClient, options.syslog, options.tcp, &error)) {
            fprintf(stderr, "dbgrelay: --syslog %s: %s\n", options.syslog.c_str(), error.c_str());
            return 1;
        }
        sender.syslog = &syslogClient;
        computerName = ThisComputerName();
    }
    if (!OpenChannel()) return 1;
    fprintf(stderr, "dbgrelay: relaying the debug output to %s; Ctrl+C stops\n",
            options.syslog.empty()
                ? slotPath
                : (syslogClient.target + (options.tcp ? " (syslog, TCP)" : " (syslog, UDP)")).c_str());
    if (!StartSender(sender)) return 1;
    HANDLE capture = CreateThread(nullptr, 0, CaptureThread, nullptr, 0, nullptr);
    if (!capture) {
        fprintf(stderr, "dbgrelay: cannot start (error %lu)\n", GetLastError());
        return 1;
    }
    RunUntilStopped();
    StopThreads(capture);
    CloseSyslogClient(&syslogClient);
    SignalStopped();
    return 0;
}
