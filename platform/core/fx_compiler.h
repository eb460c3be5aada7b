// D3DXCreateEffectCompilerFromFileA shared by the backends: the file read, macros and the
// caller's include reader given to the preprocessor, the backend's own compile run, and an
// ID3DXEffectCompiler that reflects the effect (parameters, techniques, passes, annotations,
// initial values) from the effect reader's output. Pass shader functions are Direct3D 9
// token streams holding only the version token and a constant table of the samplers the
// compiled stage reads, so D3DXGetShaderVersion and D3DXGetShaderSamplers read them as they
// read real bytecode. Not kept: struct members, effect functions, values set later.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/fxfile.h"
#include "platform/core/fxfile_preprocess.h"
#include "platform/d3dx9.h"

namespace core {

// The samplers one compiled stage reads: (name, register sN).
typedef std::vector<std::pair<std::string, int>> FxStageSamplers;

// What a backend's compile gives per pass (per technique, then per pass).
struct FxPassSamplers {
    FxStageSamplers vs, ps;
};

// A backend's compile of a preprocessed and parsed effect: true when it loads; `log` holds
// its messages ("file(line): error: ...", or D3DX's shape), `passes` the samplers per pass.
typedef std::function<bool(const FxPreprocessed& pre, const FxFile& fx, const std::string& name,
                           std::vector<std::vector<FxPassSamplers>>& passes, std::string& log)>
    FxCompileFn;

// Reads `pSrcFile` and runs the preprocessor with the caller's macros (a {NULL, NULL} entry
// ends them) and include reader (NULL: next to the including file). On failure `log` holds
// the message ("file(line): error: ...").
HRESULT FxPreprocessFile(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                         FxPreprocessed& pre, std::string& log);

HRESULT CreateEffectCompiler(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                             const FxCompileFn& compile, LPD3DXEFFECTCOMPILER* ppCompiler,
                             LPD3DXBUFFER* ppParseErrors);

// The state assignments of a pass of a compiler made by CreateEffectCompiler, as the file
// writes them ("CullMode = None", "AddressU[0] = Wrap"), shaders left out. D3DX reflects no
// pass states; this is the platform's own call, false for any other compiler or handle.
bool FxPassStates(ID3DXEffectCompiler* compiler, D3DXHANDLE hPass, std::vector<std::string>& states);

// A shader function of `profile` ("vs_2_0", "ps_3_0", ...) with a constant table naming
// `samplers`; empty when the profile is none of Direct3D 9's.
std::vector<DWORD> FxShaderFunction(const std::string& profile, const FxStageSamplers& samplers);

}  // namespace core
