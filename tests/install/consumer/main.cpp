#include <cstdio>
#include "param_tree/dynamic_row.h"
#include "strings/zarvik_string.h"
int main() {
    DynamicRow t;
    unsigned int r = t.AddToId(0, true, "R");
    Zarvik_string v;
    v = 800;
    t.AddToId(r, false, v);
    std::printf("%s %d %u\n", t.iLookName(r).getChars(), t.iLookName(t.TopId(r)).toInt(), t.iCountParams(r));
}
