// Driver commands for the release: the version information each program
// carries.
#include "driver.h"
#include <stdio.h>
#include <string>
#include <vector>

// Prints the fixed file and product versions and the strings of the
// Japanese (0x0411), Unicode (1200) string table, one "key=value" a line.
DRIVER_COMMAND(VersionInfoCommand, "version-info", "PATH (VERSIONINFO: versions and strings)") {
    Args pos = Positional(args);
    if (pos.size() != 1) return DRIVER_USAGE;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(pos[0].c_str(), &ignored);
    if (size == 0) return DRIVER_FAILED;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(pos[0].c_str(), 0, size, data.data())) return DRIVER_FAILED;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", (void**)&fixed, &length) || length < sizeof *fixed) return DRIVER_FAILED;
    printf("file-version=%lu.%lu.%lu.%lu\n", (unsigned long)HIWORD(fixed->dwFileVersionMS),
           (unsigned long)LOWORD(fixed->dwFileVersionMS), (unsigned long)HIWORD(fixed->dwFileVersionLS),
           (unsigned long)LOWORD(fixed->dwFileVersionLS));
    printf("product-version=%lu.%lu.%lu.%lu\n", (unsigned long)HIWORD(fixed->dwProductVersionMS),
           (unsigned long)LOWORD(fixed->dwProductVersionMS), (unsigned long)HIWORD(fixed->dwProductVersionLS),
           (unsigned long)LOWORD(fixed->dwProductVersionLS));
    for (const char* key :
         {"FileDescription", "FileVersion", "ProductName", "ProductVersion", "OriginalFilename", "LegalCopyright"}) {
        std::string query = std::string("\\StringFileInfo\\041104B0\\") + key;
        char* value = nullptr;
        if (VerQueryValueA(data.data(), query.c_str(), (void**)&value, &length))
            printf("%s=%.*s\n", key, (int)(length ? length - 1 : 0), value);
    }
    return DRIVER_OK;
}
