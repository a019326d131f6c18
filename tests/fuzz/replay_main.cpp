// Replays fuzz inputs through a target without libFuzzer: every file of each
// directory argument, and each file argument, once. Used by the test suite
// to keep the committed corpora passing.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static bool RunFile(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> bytes;
    int c;
    while ((c = fgetc(f)) != EOF) bytes.push_back((uint8_t)c);
    fclose(f);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

int main(int argc, char** argv) {
    int files = 0;
    bool ok = true;
    for (int a = 1; a < argc; ++a) {
        struct stat st;
        if (stat(argv[a], &st) != 0) {
            fprintf(stderr, "cannot find %s\n", argv[a]);
            ok = false;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            ok = RunFile(argv[a]) && ok;
            ++files;
            continue;
        }
        DIR* dir = opendir(argv[a]);
        if (!dir) {
            ok = false;
            continue;
        }
        while (struct dirent* entry = readdir(dir)) {
            std::string path = std::string(argv[a]) + "/" + entry->d_name;
            if (entry->d_name[0] == '.' || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            ok = RunFile(path) && ok;
            ++files;
        }
        closedir(dir);
    }
    printf("replayed %d inputs\n", files);
    if (files == 0) {
        fprintf(stderr, "no inputs found\n");
        return 1;
    }
    return ok ? 0 : 1;
}
