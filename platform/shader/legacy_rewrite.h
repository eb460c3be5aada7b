// The Direct3D 9 compiler's constructs that glslang's HLSL front end lacks, rewritten into
// plain HLSL before it sees the source.
#pragma once

#include <string>

namespace hlsl {

// Rewrites the Direct3D 9 compiler's constructs that glslang's HLSL front end lacks into
// plain HLSL, keeping every line where it was:
//  - a vector cast to an array, `(float[4])v`, which takes the vector's components in turn;
//  - a constructor as an assignment target, `float4(a, b) = e;`, which assigns e's
//    components to a and b in turn;
//  - an array of vectors initialised with one flat list of numbers;
//  - a global that shader code writes (assigns, increments, passes as an out argument): each
//    run of a Direct3D 9 shader starts from the global's value and changes a copy of its own,
//    while glslang refuses to write a uniform. The global gets a static copy initialised from
//    it, `static T dx_g_name[N] = name;` after its declaration, and the functions use the copy.
std::string RewriteLegacyHlsl(const std::string& in);

// Static globals initialised with a call of one of the source's functions (or from such a
// static), `static float3 hsv = rgb_to_hsv(gColor);`: Direct3D 9's compiler evaluates them
// before the shader runs, while glslang takes the call for one made by the function defined
// before it (a recursion, or a crash). Their initialisers are blanked, `const` with them, and
// returned as assignments in declaration order, for the entry to make first.
std::string MoveCalledInitializers(std::string& hlsl);

// Renames the words that glslang's HLSL front end reserves but Direct3D 9 HLSL leaves free for
// names ("line", "point", "sample", "linear", ...) to "dx_w_<word>", outside comments, strings
// and directive lines. Run on the whole source just before glslang reads it.
void RenameReservedWords(std::string& hlsl);

// `name` as glslang knows it after RenameReservedWords.
std::string CompilerName(const std::string& name);

// A name glslang gave back ("dx_w_line", "dx_g_Scale") as the source writes it ("line",
// "Scale"); other names are returned as they are.
std::string SourceName(const std::string& name);

// `text` (compiler messages) with every renamed word as the source writes it.
std::string SourceNames(const std::string& text);

// Column `col` (1-based) of `renamedLine`, a line of the source glslang read, as a column of
// the line as the source writes it.
int SourceColumn(const std::string& renamedLine, int col);

}  // namespace hlsl
