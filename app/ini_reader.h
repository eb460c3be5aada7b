// Reads the text settings file into a parameter tree: one knot per "[NAME]=v1,v2" line below a
// single root knot, one param per value. Blanks are dropped; lines that do not fit are skipped.
#pragma once

#include "param_tree/dynamic_row.h"
#include "strings/zarvik_string.h"

// Name of the root knot: "параметры инициализации" in Windows-1251.
extern const char kIniRootName[];

class Zarvik_cIniReader {
public:
    virtual ~Zarvik_cIniReader();

    // The tree read from `path`; only the root knot after a warning box when it cannot be opened.
    DynamicRow ReadIni(Zarvik_string path);
};
