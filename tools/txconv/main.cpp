// txconv: the command-line front end of Trelvox.
#include "Trelvox.h"

#include <stdio.h>
#include <string.h>

namespace {

void PrintUsage() {
    fputs("usage: txconv [options] FILE...\n"
          "  --formats   list the formats the library knows\n"
          "  --help      show this text\n",
          stderr);
}

// Prints one line per row of the format table: index, name, read/write, extensions, description.
int ListFormats() {
    int32_t count = ConvGetFormatCount();
    for (int32_t i = 0; i < count; ++i) {
        FormatRecord rec;
        if (ConvGetFormatAt(&rec, static_cast<uint32_t>(i)) != S_OK)
            return 1;
        char extensions[MAX_PATH] = {};
        for (const char* ext = rec.extensions; *ext; ext += strlen(ext) + 1) {
            if (extensions[0])
                strcat(extensions, " ");
            strcat(extensions, ext);
        }
        printf("%2d  %-14s %c%c  %-24s %s\n", i, rec.name, rec.sourceClsid ? 'r' : '-',
               rec.destClsid ? 'w' : '-', extensions, rec.description);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    InitTX(nullptr);
    if (argc < 2) {
        PrintUsage();
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--formats") == 0)
            return ListFormats();
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            PrintUsage();
            return 0;
        }
    }
    fprintf(stderr, "txconv: converting files is not available yet; try --formats\n");
    return 2;
}
