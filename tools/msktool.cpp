// msktool: packs, unpacks, builds and inspects skin files from the command
// line. The same source builds natively and for Windows and prints the same
// bytes on both (Windows streams are switched to binary, so no CR is added).
//
// Exit codes: 0 done (for info: a complete stream whose record the monitor
// accepts), 1 bad input (not a stream, truncated, not a usable skin or
// bitmap), 2 usage error or a file that cannot be read or written. Titles
// are Shift-JIS in the record and the terminal's encoding on Linux.
#include "codec.h"
#include "filebytes.h"
#include "recordbuild.h"
#include "skinfile.h"
#include "tovrel_version.h"
#include "unpackreport.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif
#include "titletext.h"

typedef std::vector<unsigned char> Bytes;

enum { EXIT_DONE = 0, EXIT_BAD_INPUT = 1, EXIT_USAGE = 2 };

// Larger files cannot be streams the decoder accepts nor bitmaps worth a skin.
static const size_t kMaxInputFile = 512u * 1024 * 1024;

static const char usageText[] =
    "usage: msktool pack IN OUT\n"
    "       msktool unpack IN OUT\n"
    "       msktool make BMP OUT --title TITLE --rect L,T,R,B [--transparent RRGGBB] [--force]\n"
    "       msktool info MSK|--default\n"
    "       msktool extract MSK OUT.bmp\n"
    "       msktool default OUT.msk\n"
    "       msktool default --stored OUT\n"
    "       msktool --help | --version\n"
    "make refuses a BMP the monitor could not wear unless --force is given. TITLE is\n"
    "at most 31 bytes of Shift-JIS (CP932); it is typed in the terminal's encoding.\n"
    "Exit codes: 0 done (info: a skin the monitor accepts), 1 bad input (not a\n"
    "stream, truncated, not a usable skin or bitmap), 2 usage error or a file that\n"
    "cannot be read or written.\n";

static int Usage() {
    fputs(usageText, stderr);
    return EXIT_USAGE;
}

// One line on stderr naming the file and what is wrong.
static int Fail(int code, const char* file, const std::string& what) {
    fprintf(stderr, "msktool: %s: %s\n", file, what.c_str());
    return code;
}

static bool ReadInput(const char* path, Bytes* out, std::string* error) {
    switch (ReadFileBytes(path, out, kMaxInputFile)) {
    case FILE_READ_OK:
        return true;
    case FILE_NOT_FOUND:  // fixed texts: the two runtimes word errno differently
        *error = "cannot open: no such file";
        return false;
    case FILE_NOT_OPENED:
        *error = "cannot open";
        return false;
    case FILE_TOO_LARGE:
        *error = "file too large";
        return false;
    case FILE_READ_FAILED:
        break;
    }
    *error = "read error";
    return false;
}

// Whole-file replacement, for outputs that are not skin files.
static bool WriteOutput(const char* path, const unsigned char* data, size_t size) {
    FILE* f = fopen(path, "wb");
    if (!f) return false;
    bool ok = (size == 0 || fwrite(data, 1, size, f) == size);
    return fclose(f) == 0 && ok;
}

// Unpacks a file's stream into the current result; the stream must be
// complete. On failure prints the reason and returns the exit code.
static int UnpackFile(const char* path, UnpackReport* report) {
    Bytes stream;
    std::string error;
    if (!ReadInput(path, &stream, &error)) return Fail(EXIT_USAGE, path, error);
    if (!UnpackStreamReport(stream.data(), (int32_t)stream.size(), report)) {
        if (stream.size() >= 7 && report->declaredSize >= 3)
            return Fail(EXIT_BAD_INPUT, path,
                        "declared size " + std::to_string(report->declaredSize) + " cannot be allocated");
        return Fail(EXIT_BAD_INPUT, path, "not a packed stream (too short or impossible declared size)");
    }
    if (report->end != UNPACK_COMPLETE) {
        std::string what = std::string(DescribeUnpackEnd(report->end)) + ": items give " +
                           std::to_string(report->produced) + " of " + std::to_string(report->declaredSize) + " bytes";
        ReleaseUnpacked();
        return Fail(EXIT_BAD_INPUT, path, what);
    }
    return EXIT_DONE;
}

static int CommandPack(int argc, char** argv) {
    if (argc != 4) return Usage();
    Bytes input;
    std::string error;
    if (!ReadInput(argv[2], &input, &error)) return Fail(EXIT_USAGE, argv[2], error);
    if (input.size() < 3) return Fail(EXIT_BAD_INPUT, argv[2], "too short to pack (at least 3 bytes are needed)");
    if (!PackToFile(argv[3], input.data(), (int32_t)input.size()))
        return Fail(EXIT_USAGE, argv[3], "cannot write the packed stream");
    return EXIT_DONE;
}

static int CommandUnpack(int argc, char** argv) {
    if (argc != 4) return Usage();
    UnpackReport report;
    int code = UnpackFile(argv[2], &report);
    if (code != EXIT_DONE) return code;
    bool written = WriteOutput(argv[3], unpackedData, (size_t)unpackedSize);
    ReleaseUnpacked();
    return written ? EXIT_DONE : Fail(EXIT_USAGE, argv[3], "cannot write");
}

// "L,T,R,B": four signed 32-bit decimal numbers.
static bool ParseRect(const char* text, int32_t edges[4]) {
    const char* p = text;
    for (int k = 0; k < 4; ++k) {
        if (!(*p == '-' || *p == '+' || (*p >= '0' && *p <= '9'))) return false;
        errno = 0;
        char* end;
        long long v = strtoll(p, &end, 10);
        if (end == p || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
        edges[k] = (int32_t)v;
        p = end;
        if (k < 3) {
            if (*p != ',') return false;
            ++p;
        }
    }
    return *p == 0;
}

static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "RRGGBB" to a COLORREF 0x00BBGGRR.
static bool ParseColor(const char* text, uint32_t* color) {
    if (strlen(text) != 6) return false;
    uint32_t rgb = 0;
    for (int k = 0; k < 6; ++k) {
        int d = HexDigit(text[k]);
        if (d < 0) return false;
        rgb = rgb << 4 | (uint32_t)d;
    }
    *color = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    return true;
}

// The title as the record stores it: CP932 bytes, at most 31. Linux takes
// it in the terminal's encoding; Windows hands it over in the ANSI code page.
static bool RecordTitle(const char* typed, std::string* title, std::string* error) {
#ifdef _WIN32
    *title = typed;
    if (title->size() < sizeof(SkinHeader::title)) return true;
    *error = DescribeTitleProblem(TITLE_TOO_LONG);
    return false;
#else
    TitleProblem problem = TitleToCp932(typed, nl_langinfo(CODESET), title);
    *error = DescribeTitleProblem(problem);
    return problem == TITLE_OK;
#endif
}

// Whether the system would make a DIB section of the image: uncompressed,
// or bit-field masks at 16 or 32 bits per pixel.
static bool IsDibSectionFormat(const SkinImageInfo& info) {
    if (info.compression == SKIN_BI_RGB) return true;
    return info.compression == SKIN_BI_BITFIELDS && (info.bitCount == 16 || info.bitCount == 32);
}

static int CommandMake(int argc, char** argv) {
    if (argc < 4) return Usage();
    const char* typedTitle = nullptr;
    const char* rect = nullptr;
    const char* transparent = nullptr;
    bool force = false;
    for (int k = 4; k < argc; ++k) {
        if (strcmp(argv[k], "--force") == 0) {
            force = true;
            continue;
        }
        if (k + 1 >= argc) return Usage();
        if (strcmp(argv[k], "--title") == 0)
            typedTitle = argv[++k];
        else if (strcmp(argv[k], "--rect") == 0)
            rect = argv[++k];
        else if (strcmp(argv[k], "--transparent") == 0)
            transparent = argv[++k];
        else
            return Usage();
    }
    if (!typedTitle || !rect) return Usage();

    std::string title, error;
    if (!RecordTitle(typedTitle, &title, &error)) return Fail(EXIT_USAGE, "--title", error);
    int32_t edges[4];
    if (!ParseRect(rect, edges))
        return Fail(EXIT_USAGE, rect, "bad rectangle: expected L,T,R,B (four signed integers)");
    uint32_t color = SKIN_NO_TRANSPARENT;
    if (transparent && !ParseColor(transparent, &color))
        return Fail(EXIT_USAGE, transparent, "bad colour: expected RRGGBB (six hex digits)");
    // The header exactly as the skin maker fills it.
    SkinHeader header;
    FillSkinHeader(&header, title.c_str(), edges[0], edges[1], edges[2], edges[3], color);

    // The bitmap goes in whole, as the skin maker saves it.
    Bytes bitmap;
    if (!ReadInput(argv[2], &bitmap, &error)) return Fail(EXIT_USAGE, argv[2], error);
    Bytes record;
    if (!AssembleSkinRecord(&header, bitmap.data(), bitmap.size(), &record))
        return Fail(EXIT_BAD_INPUT, argv[2], "file too large");
    SkinImageInfo image;
    SkinProblem problem = CheckSkinRecord(record.data(), (int32_t)record.size(), &image);
    if (!force && (problem != SKIN_OK || !IsDibSectionFormat(image))) {
        const char* why = problem != SKIN_OK ? DescribeSkinProblem(problem) : "a compressed bitmap";
        return Fail(EXIT_BAD_INPUT, argv[2],
                    std::string("not a bitmap the monitor can wear (") + why + "); --force makes the skin anyway");
    }
    if (!PackToFile(argv[3], record.data(), (int32_t)record.size()))
        return Fail(EXIT_USAGE, argv[3], "cannot write the skin file");
    return EXIT_DONE;
}

// The title in the terminal's encoding on Linux and as its Shift-JIS bytes
// on Windows, control bytes and backslashes escaped so it stays one line.
static void PrintTitle(const SkinHeader& header) {
    size_t length = 0;
    while (length < sizeof header.title && header.title[length]) ++length;
#ifdef _WIN32
    fputs("title: ", stdout);
    for (size_t k = 0; k < length;) {
        size_t bytes = Cp932CharLength(header.title + k, length - k);
        unsigned char c = (unsigned char)header.title[k];
        if (bytes == 1 && ShownEscaped(c))
            printf("\\x%02X", c);
        else
            fwrite(header.title + k, 1, bytes, stdout);
        k += bytes;
    }
    putchar('\n');
#else
    printf("title: %s\n", TitleForTerminal(header.title, length, nl_langinfo(CODESET)).c_str());
#endif
}

// Prints the record in the current result; returns whether it is usable.
static bool PrintRecord() {
    printf("record-size: %d\n", (int)unpackedSize);
    SkinImageInfo image;
    SkinProblem problem = CheckSkinRecord(unpackedData, unpackedSize, &image);
    if (problem == SKIN_TOO_SHORT || problem == SKIN_BAD_MAGIC) {
        printf("accepted: no (%s)\n", DescribeSkinProblem(problem));
        return false;
    }
    const SkinHeader* header = (const SkinHeader*)unpackedData;
    printf("magic: %.4s\n", header->magic);
    if (problem != SKIN_TITLE_UNTERMINATED) PrintTitle(*header);
    printf("text-rect: %d,%d,%d,%d\n", (int)header->textLeft, (int)header->textTop, (int)header->textRight,
           (int)header->textBottom);
    if (header->transparentColor == SKIN_NO_TRANSPARENT)
        puts("transparent: none");
    else
        printf("transparent: 0x%08X\n", (unsigned)header->transparentColor);
    printf("bmp-size: %d\n", (int)(unpackedSize - (int32_t)sizeof(SkinHeader)));
    if (problem != SKIN_OK) {
        printf("accepted: no (%s)\n", DescribeSkinProblem(problem));
        return false;
    }
    printf("bmp-width: %d\n", (int)image.width);
    printf("bmp-height: %d\n", (int)image.height);
    printf("bmp-depth: %d\n", (int)image.bitCount);
    printf("bmp-compression: %u\n", (unsigned)image.compression);
    printf("bmp-pixel-offset: %u\n", (unsigned)image.pixelOffset);
    printf("bmp-pixel-bytes: %u\n", (unsigned)image.pixelBytes);
    if (!IsDibSectionFormat(image)) {
        puts("accepted: no (compressed bitmap: the system makes no DIB section of it)");
        return false;
    }
    puts("accepted: yes");
    return true;
}

static int CommandInfo(int argc, char** argv) {
    if (argc != 3) return Usage();
    const char* path = argv[2];
    if (strcmp(path, "--default") == 0) {
        if (!LoadDefaultSkin()) return Fail(EXIT_BAD_INPUT, "(default skin)", "cannot be unpacked");
        printf("file: (default skin)\nstored-size: %d\n", (int)defaultSkinStoredSize);
        bool accepted = PrintRecord();
        ReleaseUnpacked();
        return accepted ? EXIT_DONE : EXIT_BAD_INPUT;
    }

    Bytes stream;
    std::string error;
    if (!ReadInput(path, &stream, &error)) return Fail(EXIT_USAGE, path, error);
    UnpackReport report;
    if (!UnpackStreamReport(stream.data(), (int32_t)stream.size(), &report))
        return Fail(EXIT_BAD_INPUT, path, "not a packed stream (too short or impossible declared size)");
    printf("file: %s\n", path);
    printf("file-size: %u\n", (unsigned)stream.size());
    printf("declared-size: %d\n", (int)report.declaredSize);
    printf("stream-bytes: %d\n", (int)report.consumed);
    printf("stream: %s\n", DescribeUnpackEnd(report.end));
    bool accepted = PrintRecord();
    ReleaseUnpacked();
    if (report.end != UNPACK_COMPLETE) {
        Fail(EXIT_BAD_INPUT, path,
             std::string(DescribeUnpackEnd(report.end)) + ": items give " + std::to_string(report.produced) + " of " +
                 std::to_string(report.declaredSize) + " bytes");
        return EXIT_BAD_INPUT;
    }
    return accepted ? EXIT_DONE : EXIT_BAD_INPUT;
}

static int CommandExtract(int argc, char** argv) {
    if (argc != 4) return Usage();
    UnpackReport report;
    int code = UnpackFile(argv[2], &report);
    if (code != EXIT_DONE) return code;
    SkinProblem problem = CheckSkinRecord(unpackedData, unpackedSize, nullptr);
    if (IsSkinDataProblem(problem)) {
        ReleaseUnpacked();
        return Fail(EXIT_BAD_INPUT, argv[2], DescribeSkinProblem(problem));
    }
    // The image as stored, even one the monitor would refuse: that is what
    // one extracts it to look at.
    bool written = WriteOutput(argv[3], unpackedData + sizeof(SkinHeader), (size_t)unpackedSize - sizeof(SkinHeader));
    ReleaseUnpacked();
    return written ? EXIT_DONE : Fail(EXIT_USAGE, argv[3], "cannot write");
}

static int CommandDefault(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[2], "--stored") == 0) {
        if (!WriteOutput(argv[3], defaultSkinStored, (size_t)defaultSkinStoredSize))
            return Fail(EXIT_USAGE, argv[3], "cannot write");
        return EXIT_DONE;
    }
    if (argc != 3) return Usage();
    if (!LoadDefaultSkin()) return Fail(EXIT_BAD_INPUT, "(default skin)", "cannot be unpacked");
    bool written = PackToFile(argv[2], unpackedData, unpackedSize);
    ReleaseUnpacked();
    return written ? EXIT_DONE : Fail(EXIT_USAGE, argv[2], "cannot write the skin file");
}

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#else
    setlocale(LC_ALL, "");
#endif
    if (argc < 2) return Usage();
    const char* command = argv[1];
    int code;
    if (strcmp(command, "--help") == 0 || strcmp(command, "-h") == 0) {
        fputs(usageText, stdout);
        code = EXIT_DONE;
    } else if (strcmp(command, "--version") == 0) {
        puts("msktool " TOVREL_VERSION);
        code = EXIT_DONE;
    } else if (strcmp(command, "pack") == 0) {
        code = CommandPack(argc, argv);
    } else if (strcmp(command, "unpack") == 0) {
        code = CommandUnpack(argc, argv);
    } else if (strcmp(command, "make") == 0) {
        code = CommandMake(argc, argv);
    } else if (strcmp(command, "info") == 0) {
        code = CommandInfo(argc, argv);
    } else if (strcmp(command, "extract") == 0) {
        code = CommandExtract(argc, argv);
    } else if (strcmp(command, "default") == 0) {
        code = CommandDefault(argc, argv);
    } else {
        fprintf(stderr, "msktool: unknown command '%s'\n", command);
        code = Usage();
    }
    fflush(stdout);
    return code;
}
