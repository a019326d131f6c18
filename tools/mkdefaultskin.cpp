// mkdefaultskin: draws the monitor's built-in default skin and stores it the
// way the programs carry it (the skin record packed, and that stream packed
// again). Also writes the picture alone as a .bmp for looking at, and the two
// programs' icons.
//
//   mkdefaultskin OUT.bin             the stored default skin
//   mkdefaultskin --bmp OUT.bmp       the picture alone
//   mkdefaultskin --icon OUT.ico      the monitor's icon (the figure's face)
//   mkdefaultskin --maker-icon OUT.ico  the skin maker's icon
// Options may be combined in one run.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "defaultskin_art.h"

namespace {

bool WriteWholeFile(const char* path, const std::vector<unsigned char>& bytes) {
    FILE* file = fopen(path, "wb");
    if (!file) {
        fprintf(stderr, "mkdefaultskin: cannot create %s\n", path);
        return false;
    }
    const size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
    const bool closed = fclose(file) == 0;
    if (written != bytes.size() || !closed) {
        fprintf(stderr, "mkdefaultskin: cannot write %s\n", path);
        return false;
    }
    return true;
}

bool WriteStoredSkin(const char* path) {
    std::vector<unsigned char> record, stored;
    BuildDefaultSkinRecord(&record);
    int32_t onceSize = 0;
    if (!PackDefaultSkinTwice(record, &stored, &onceSize)) {
        fprintf(stderr, "mkdefaultskin: out of memory while packing\n");
        return false;
    }
    if (!WriteWholeFile(path, stored)) return false;
    printf("%s: record %zu bytes, packed once %d bytes, stored %zu bytes\n", path, record.size(), (int)onceSize,
           stored.size());
    return true;
}

bool WriteBmp(const char* path) {
    std::vector<unsigned char> bmp;
    BuildDefaultSkinBmp(&bmp);
    return WriteWholeFile(path, bmp);
}

bool WriteIcon(IconArt art, const char* path) {
    std::vector<unsigned char> ico;
    BuildIconFile(art, &ico);
    return WriteWholeFile(path, ico);
}

int Usage() {
    fprintf(stderr, "usage: mkdefaultskin [OUT.bin] [--bmp OUT.bmp] [--icon OUT.ico] [--maker-icon OUT.ico]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const bool takesPath =
            strcmp(arg, "--bmp") == 0 || strcmp(arg, "--icon") == 0 || strcmp(arg, "--maker-icon") == 0;
        if (takesPath && i + 1 >= argc) return Usage();
        bool ok;
        if (strcmp(arg, "--bmp") == 0)
            ok = WriteBmp(argv[++i]);
        else if (strcmp(arg, "--icon") == 0)
            ok = WriteIcon(ICON_MONITOR, argv[++i]);
        else if (strcmp(arg, "--maker-icon") == 0)
            ok = WriteIcon(ICON_SKINMAKER, argv[++i]);
        else if (arg[0] == '-')
            return Usage();
        else
            ok = WriteStoredSkin(arg);
        if (!ok) return 1;
    }
    return 0;
}
