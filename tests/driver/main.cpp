// Test driver entry: runs one command from the command line, or with --serve
// reads commands from stdin, one per line, and answers each in turn, so a test
// run pays Wine's start-up once instead of per command.
//
// Serve protocol: a line holds the command name and its arguments separated by
// tabs; "\\t", "\\n" and "\\\\" inside an argument stand for tab, newline and
// backslash. After the command's output the driver writes "\x1e<exit code>\n".
#include "driver.h"
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

static DriverCommandEntry* commandTable;

DriverCommandRegistration::DriverCommandRegistration(DriverCommandEntry* entry) {
    entry->next = commandTable;
    commandTable = entry;
}

static int RunCommand(const std::string& name, const Args& args) {
    for (DriverCommandEntry* entry = commandTable; entry; entry = entry->next) {
        if (name == entry->name) return entry->run(args);
    }
    fprintf(stdout, "unknown command: %s\n", name.c_str());
    return DRIVER_USAGE;
}

static void PrintUsage() {
    fprintf(stdout, "usage: tvdriver COMMAND ARGS... | tvdriver --serve\n");
    for (DriverCommandEntry* entry = commandTable; entry; entry = entry->next)
        fprintf(stdout, "  %s %s\n", entry->name, entry->usage);
}

static std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c == '\\' && i + 1 < field.size()) {
            char n = field[++i];
            out += n == 't' ? '\t' : n == 'n' ? '\n' : n;
        } else {
            out += c;
        }
    }
    return out;
}

static Args SplitLine(const std::string& line) {
    Args fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

static int Serve() {
    std::string line;
    int c;
    while ((c = fgetc(stdin)) != EOF) {
        if (c != '\n') {
            if (c != '\r') line += (char)c;
            continue;
        }
        Args fields = SplitLine(line);
        line.clear();
        if (fields.empty() || fields[0].empty()) continue;
        std::string name = fields[0];
        fields.erase(fields.begin());
        int rc = RunCommand(name, fields);
        fprintf(stdout, "\x1e%d\n", rc);
        fflush(stdout);
    }
    return 0;
}

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
    if (argc >= 2 && strcmp(argv[1], "--serve") == 0) return Serve();
    if (argc < 2) {
        PrintUsage();
        return DRIVER_USAGE;
    }
    Args args(argv + 2, argv + argc);
    int rc = RunCommand(argv[1], args);
    fflush(stdout);
    return rc;
}
