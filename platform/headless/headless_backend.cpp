// The headless backend's program run (environment, trace), its Direct3D and D3DX factories,
// and the reset between tests.
#include <cstdio>
#include <cstdlib>

#include "platform/bench_run.h"
#include "platform/headless/headless_backend.h"
#include "platform/headless/headless_impl.h"

namespace headless {
namespace {

// Reads a non-negative integer environment variable; false when set but not such a number.
bool EnvNumber(const char* name, DWORD fallback, DWORD& out, std::string& err) {
    out = fallback;
    const char* v = std::getenv(name);
    if (!v || !*v) return true;
    char* end = nullptr;
    unsigned long n = std::strtoul(v, &end, 10);
    if (*end || *v == '-' || n > 0xFFFFFFFFul) {
        err = std::string(name) + " is not a whole number: '" + v + "'";
        return false;
    }
    out = static_cast<DWORD>(n);
    return true;
}

// "YYYY-MM-DDTHH:MM:SS" (a blank also separates date and time).
bool ParseSystemTime(const char* text, SYSTEMTIME& st) {
    int y, mo, d, h, mi, s;
    char sep;
    if (std::sscanf(text, "%d-%d-%d%c%d:%d:%d", &y, &mo, &d, &sep, &h, &mi, &s) != 7) return false;
    if ((sep != 'T' && sep != ' ') || y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 ||
        h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return false;
    // Day of the week by Sakamoto's method.
    static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int yy = mo < 3 ? y - 1 : y;
    int dow = (yy + yy / 4 - yy / 100 + yy / 400 + t[mo - 1] + d) % 7;
    st = SYSTEMTIME{static_cast<WORD>(y), static_cast<WORD>(mo), static_cast<WORD>(dow), static_cast<WORD>(d),
                    static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), 0};
    return true;
}

}  // namespace

platform::Backend* CreateBackend() { return new HeadlessBackend; }

bool HeadlessBackend::Start(std::string& err) {
    State& s = S();
    DWORD frameMs, frames;
    const DWORD frameDefault = platform::BenchActive() ? 0xFFFFFFFFu : 100;   // a timed run ends by time
    if (!EnvNumber("MESHES_FRAME_MS", 16, frameMs, err) || !EnvNumber("MESHES_FRAMES", frameDefault, frames, err))
        return false;
    if (frames == 0) {
        err = "MESHES_FRAMES must be at least 1";
        return false;
    }
    if (const char* t = std::getenv("MESHES_SYSTEM_TIME")) {
        if (*t && !ParseSystemTime(t, s.systemTime)) {
            err = std::string("MESHES_SYSTEM_TIME is not YYYY-MM-DDTHH:MM:SS: '") + t + "'";
            return false;
        }
        s.fixedSystemTime = *t != 0;
    }
    if (const char* path = std::getenv("MESHES_SCRIPT")) {
        if (*path && !LoadScript(path, err)) return false;
    }
    // The trace is written as the calls are made: a long run keeps no more of them than a
    // short one. A file that cannot be written is reported when the run ends.
    if (const char* trace = std::getenv("MESHES_TRACE")) {
        s.tracePath = trace;
        if (!s.tracePath.empty()) OpenTrace(s.tracePath);
    }
    s.frameStep = frameMs;
    s.frameLimit = frames;
    s.running = true;
    return true;
}

void HeadlessBackend::Finish() {
    State& s = S();
    if (!s.tracePath.empty() && !CloseTrace())
        std::fprintf(stderr, "meshes: cannot write the trace %s\n", s.tracePath.c_str());
    s.running = false;
}

IDirect3D9* HeadlessBackend::Direct3DCreate9(UINT SDKVersion) { return CreateDirect3D(SDKVersion); }

HRESULT HeadlessBackend::D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                            LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                            LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials,
                                            LPD3DXMESH* ppMesh) {
    return LoadMesh(pFilename, Options, pD3DDevice, ppAdjacency, ppMaterials, ppEffectInstances,
                    pNumMaterials, ppMesh);
}

HRESULT HeadlessBackend::D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                                    LPDIRECT3DTEXTURE9* ppTexture) {
    return CreateTexture(pDevice, pSrcFile, ppTexture);
}

HRESULT HeadlessBackend::D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                                   const D3DXMACRO*, LPD3DXINCLUDE, DWORD Flags,
                                                   LPD3DXEFFECTPOOL, LPD3DXEFFECT* ppEffect,
                                                   LPD3DXBUFFER* ppCompilationErrors) {
    return CreateEffect(pDevice, pSrcFile, Flags, ppEffect, ppCompilationErrors);
}

HRESULT HeadlessBackend::D3DXCreateEffectCompilerFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                                           LPD3DXINCLUDE pInclude, DWORD,
                                                           LPD3DXEFFECTCOMPILER* ppCompiler,
                                                           LPD3DXBUFFER* ppParseErrors) {
    return CreateEffectCompiler(pSrcFile, pDefines, pInclude, ppCompiler, ppParseErrors);
}

HRESULT HeadlessBackend::D3DXCreateFontA(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight,
                                         UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                                         DWORD Quality, DWORD PitchAndFamily, LPCSTR pFaceName,
                                         LPD3DXFONT* ppFont) {
    return MakeFont(pDevice, Height, Width, Weight, MipLevels, Italic, CharSet, OutputPrecision, Quality,
                    PitchAndFamily, pFaceName, ppFont);
}

size_t LiveObjects() {
    return S().live.size();
}

void Reset() {
    State& s = S();
    std::vector<Tracked*> objects;
    for (auto& kv : s.live) objects.push_back(kv.second);
    s.live.clear();
    for (Tracked* t : objects) delete t;
    FreeScript();
    if (s.trace) std::fclose(s.trace);
    s = State();
    std::string err;
    platform::Select("headless", err);
}

}  // namespace headless
