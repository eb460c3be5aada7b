// Effect files (.fx): HLSL with effect-only syntax around it (annotations, sampler_state
// blocks, techniques with passes and state assignments). ParseFx separates the two: plain
// HLSL with every removed character replaced by a blank (newlines kept, so compiler messages
// keep their line numbers), the top-level parameters, and the techniques. Taken out of the
// HLSL: annotations, sampler_state and other state blocks (the sampler stays declared),
// techniques, the `shared` keyword, and whole declarations of string, texture and shader
// variables. Shader assembly, `asm { ... }`, is kept as the text between the braces, read as
// assembly (its ; comments included), never as HLSL. It does not check the HLSL itself (the
// shader compiler does) and does not expand #include or macros; `static` variables are HLSL
// only, not parameters. As D3DX 9 compiles effects (fx_2_0), technique10 blocks are read and
// left out, and technique11 fails.
#pragma once

#include <string>
#include <vector>

namespace core {

enum class FxClass { Scalar, Vector, Matrix, Object, Struct };

struct FxAnnotation {
    std::string type;    // "string", "float", ...
    std::string name;
    int elements = 0;    // `name[N]`: N; 0 when not an array
    std::string value;   // strings without their quotes; other values as written
};

// The text of an `asm { ... }` block, between its braces.
struct FxAsm {
    std::string text;
    int line = 0, column = 0;   // where its first character stands (1-based)
};

// One state assignment: `Name[index] = value;`
struct FxState {
    std::string name;        // as written (compare case-blind)
    int index = -1;          // -1 when the state has no [index]
    std::string value;       // value text, trimmed, blanks collapsed
    // Shader states written `compile profile entry(args)`:
    bool isCompile = false;
    std::string profile;     // "vs_2_0", ...
    std::string entry;       // function name
    std::string arguments;   // text between the parentheses, trimmed
    // Shader states written `asm { ... }` (value "asm {...}"):
    bool isAsm = false;
    FxAsm assembly;
    int line = 0;            // 1-based line of the state name
};

struct FxParameter {
    std::string type;        // base type as written: "float4x4", "texture", "sampler2D", ...
    std::string name;
    std::string semantic;    // empty when none (as written; compare case-blind)
    FxClass paramClass = FxClass::Scalar;
    int rows = 1, columns = 1;   // 1x1 for scalars and objects; 1xN vectors; RxC matrices
    int elements = 0;            // array length, 0 when not an array
    bool rowMajor = false;       // declared row_major
    std::vector<FxAnnotation> annotations;
    bool hasInitializer = false;
    std::vector<float> initialValue;   // numbers of the initialiser in order (true=1, false=0)
    std::string initializerText;       // initialiser as written (strings: without quotes)
    // Samplers written `= sampler_state { ... }`:
    std::string textureName;           // the parameter named by `Texture = <name>;`
    std::vector<FxState> samplerStates;  // all states of the block, Texture included
    // `: register(s3)` (or `register(ps, s3)`): the register letter in lower case and its
    // number; letter 0 when the declaration gives none.
    char registerKind = 0;
    int registerIndex = -1;
    // Shader variables: the asm blocks of the initialiser in order, each written "asm {...}"
    // in initializerText.
    std::vector<FxAsm> asmBlocks;
    int line = 0;
};

struct FxPass {
    std::string name;   // empty for an unnamed pass
    std::vector<FxAnnotation> annotations;
    std::vector<FxState> states;
    int line = 0;
};

struct FxTechnique {
    std::string name;
    std::vector<FxAnnotation> annotations;
    std::vector<FxPass> passes;
    int line = 0;
};

struct FxFile {
    std::string hlsl;                      // same length and line layout as the input
    std::vector<FxParameter> params;       // top-level parameters in file order
    std::vector<FxTechnique> techniques;   // in file order
};

// err is "line N: message" on failure.
bool ParseFx(const std::string& text, FxFile& out, std::string& err);

// A pass's `VertexShader = (vs);` / `<vs>` / `vs` / `(vsArray[i])` naming a shader variable
// (`VertexShader vs = compile vs_2_0 f();` or `= asm { ... }`, arrays in braces): the compile
// or asm state it holds. An index may be a number or an int parameter, read at its initial
// value. Returns false with `err` when the value names no such shader; `out` is `s` itself
// when it compiles or assembles already.
bool ResolveShaderState(const FxFile& fx, const FxState& s, FxState& out, std::string& err);

}  // namespace core
