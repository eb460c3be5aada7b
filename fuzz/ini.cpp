// Settings file reader: any bytes give a root knot with knots below it whose names and values
// are free of blanks and at most 255 characters long.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/ini_reader.h"

static bool Clean(const char* text) {
    size_t n = strlen(text);
    return n <= 255 && !strpbrk(text, " \t\b");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/fuzz_ini_" + std::to_string(getpid());
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return 0;
    fwrite(data, 1, size, file);
    fclose(file);

    Zarvik_cIniReader reader;
    Zarvik_string name;
    name = path.c_str();
    DynamicRow tree = reader.ReadIni(name);
    if (strcmp(tree.iLookName(1).getChars(), kIniRootName) != 0 || tree.NextId(1)) std::abort();
    for (unsigned int knot = tree.TopId(1); knot; knot = tree.NextId(knot)) {
        if (!tree.isKnot(knot) || !tree.iLookName(knot).getChars()[0]) std::abort();
        if (!Clean(tree.iLookName(knot).getChars())) std::abort();
        if (tree.iCountKnots(knot) || !tree.iCountParams(knot)) std::abort();
        for (unsigned int v = tree.TopId(knot); v; v = tree.NextId(v))
            if (!Clean(tree.iLookName(v).getChars())) std::abort();
    }
    tree.DeleteById(1);  // the reader's trees are never released by their users; here they are
    return 0;
}
