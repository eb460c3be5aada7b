// fxtool preview: an effect drawn on a mesh (a built-in sphere when none is given), lit by one
// light, with its parameters bound as the engine binds them, written to a PNG. It draws with
// the window backend off screen, so it needs no display; the Windows build does not have it.
#pragma once

#include <string>
#include <vector>

#include "platform/d3dx9.h"

struct PreviewOptions {
    std::string mesh;        // .x file; empty: the built-in sphere
    std::string texture;     // replaces every subset's texture when given
    std::string technique;   // empty: the one the engine would draw with
    std::string out;         // the PNG
    int width = 512, height = 512;
};

// Takes --mesh, --texture, --technique, --size WxH and -o (joined with '=' or as the next
// argument) out of `args`; false with `why` for a malformed or missing value.
bool TakePreviewOptions(std::vector<std::string>& args, PreviewOptions& o, std::string& why);

// Draws `file` and writes the picture; the exit code (0 written, 1 the effect or a file failed,
// 2 this build cannot draw). `macros` ends with a {NULL, NULL} entry; `include` may be null.
int Preview(const std::string& file, const D3DXMACRO* macros, ID3DXInclude* include,
            const PreviewOptions& o);
