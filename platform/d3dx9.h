// The subset of D3DX 9 that the engine calls: the math types and functions (row vectors,
// left-handed, implemented once in platform/core/d3dx_math.cpp for every backend), and the
// mesh, texture, effect and font objects, whose creation functions forward to the active
// backend. On Windows this header is the SDK's. Only what the engine uses is declared.
#ifndef MESHES_PLATFORM_D3DX9_H
#define MESHES_PLATFORM_D3DX9_H

#ifdef _WIN32
#include <d3dx9.h>
#else

#include "d3d9.h"
#include "windows.h"

#define D3DX_PI ((FLOAT)3.141592654f)
#define D3DXToRadian(degree) ((degree) * (D3DX_PI / 180.0f))
#define D3DXToDegree(radian) ((radian) * (180.0f / D3DX_PI))
#define D3DX_DEFAULT ((UINT)-1)

// ---- Math types. Unlike the SDK's, the default constructors zero their members. ----
struct D3DXMATRIX;

struct D3DXVECTOR3 : public D3DVECTOR {
    D3DXVECTOR3() : D3DVECTOR{0, 0, 0} {}
    D3DXVECTOR3(const D3DVECTOR& v) : D3DVECTOR(v) {}
    explicit D3DXVECTOR3(const FLOAT* f) : D3DVECTOR{f[0], f[1], f[2]} {}
    D3DXVECTOR3(FLOAT fx, FLOAT fy, FLOAT fz) : D3DVECTOR{fx, fy, fz} {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR3& operator+=(const D3DXVECTOR3& v) { x += v.x; y += v.y; z += v.z; return *this; }
    D3DXVECTOR3& operator-=(const D3DXVECTOR3& v) { x -= v.x; y -= v.y; z -= v.z; return *this; }
    D3DXVECTOR3& operator*=(FLOAT f) { x *= f; y *= f; z *= f; return *this; }
    D3DXVECTOR3& operator/=(FLOAT f) { FLOAT i = 1.0f / f; x *= i; y *= i; z *= i; return *this; }
    D3DXVECTOR3 operator+() const { return *this; }
    D3DXVECTOR3 operator-() const { return D3DXVECTOR3(-x, -y, -z); }
    D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return D3DXVECTOR3(x + v.x, y + v.y, z + v.z); }
    D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return D3DXVECTOR3(x - v.x, y - v.y, z - v.z); }
    D3DXVECTOR3 operator*(FLOAT f) const { return D3DXVECTOR3(x * f, y * f, z * f); }
    D3DXVECTOR3 operator/(FLOAT f) const { FLOAT i = 1.0f / f; return D3DXVECTOR3(x * i, y * i, z * i); }
    friend D3DXVECTOR3 operator*(FLOAT f, const D3DXVECTOR3& v) { return v * f; }
    bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
};

struct D3DXVECTOR4 {
    FLOAT x, y, z, w;

    D3DXVECTOR4() : x(0), y(0), z(0), w(0) {}
    explicit D3DXVECTOR4(const FLOAT* f) : x(f[0]), y(f[1]), z(f[2]), w(f[3]) {}
    D3DXVECTOR4(const D3DVECTOR& v, FLOAT fw) : x(v.x), y(v.y), z(v.z), w(fw) {}
    D3DXVECTOR4(FLOAT fx, FLOAT fy, FLOAT fz, FLOAT fw) : x(fx), y(fy), z(fz), w(fw) {}

    operator FLOAT*() { return &x; }
    operator const FLOAT*() const { return &x; }

    D3DXVECTOR4& operator+=(const D3DXVECTOR4& v) { x += v.x; y += v.y; z += v.z; w += v.w; return *this; }
    D3DXVECTOR4& operator-=(const D3DXVECTOR4& v) { x -= v.x; y -= v.y; z -= v.z; w -= v.w; return *this; }
    D3DXVECTOR4& operator*=(FLOAT f) { x *= f; y *= f; z *= f; w *= f; return *this; }
    D3DXVECTOR4 operator-() const { return D3DXVECTOR4(-x, -y, -z, -w); }
    D3DXVECTOR4 operator+(const D3DXVECTOR4& v) const { return D3DXVECTOR4(x + v.x, y + v.y, z + v.z, w + v.w); }
    D3DXVECTOR4 operator-(const D3DXVECTOR4& v) const { return D3DXVECTOR4(x - v.x, y - v.y, z - v.z, w - v.w); }
    D3DXVECTOR4 operator*(FLOAT f) const { return D3DXVECTOR4(x * f, y * f, z * f, w * f); }
    bool operator==(const D3DXVECTOR4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    bool operator!=(const D3DXVECTOR4& v) const { return !(*this == v); }
};

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2);

struct D3DXMATRIX : public D3DMATRIX {
    D3DXMATRIX() : D3DMATRIX() {}
    D3DXMATRIX(const D3DMATRIX& m) : D3DMATRIX(m) {}
    explicit D3DXMATRIX(const FLOAT* f) : D3DMATRIX() { for (int i = 0; i < 16; ++i) m[i / 4][i % 4] = f[i]; }
    D3DXMATRIX(FLOAT f11, FLOAT f12, FLOAT f13, FLOAT f14, FLOAT f21, FLOAT f22, FLOAT f23, FLOAT f24,
               FLOAT f31, FLOAT f32, FLOAT f33, FLOAT f34, FLOAT f41, FLOAT f42, FLOAT f43, FLOAT f44)
        : D3DMATRIX() {
        _11 = f11; _12 = f12; _13 = f13; _14 = f14;
        _21 = f21; _22 = f22; _23 = f23; _24 = f24;
        _31 = f31; _32 = f32; _33 = f33; _34 = f34;
        _41 = f41; _42 = f42; _43 = f43; _44 = f44;
    }

    FLOAT& operator()(UINT row, UINT col) { return m[row][col]; }
    FLOAT operator()(UINT row, UINT col) const { return m[row][col]; }
    operator FLOAT*() { return &_11; }
    operator const FLOAT*() const { return &_11; }

    D3DXMATRIX& operator*=(const D3DXMATRIX& o) { D3DXMatrixMultiply(this, this, &o); return *this; }
    D3DXMATRIX operator*(const D3DXMATRIX& o) const { D3DXMATRIX r; D3DXMatrixMultiply(&r, this, &o); return r; }
    bool operator==(const D3DXMATRIX& o) const {
        for (int i = 0; i < 16; ++i) if (m[i / 4][i % 4] != o.m[i / 4][i % 4]) return false;
        return true;
    }
    bool operator!=(const D3DXMATRIX& o) const { return !(*this == o); }
};

// A colour of four floats; turned into a D3DCOLOR, each channel is clamped to [0, 1] and
// rounded to the nearest byte.
struct D3DXCOLOR {
    FLOAT r, g, b, a;

    D3DXCOLOR() : r(0), g(0), b(0), a(0) {}
    D3DXCOLOR(DWORD argb);
    explicit D3DXCOLOR(const FLOAT* f) : r(f[0]), g(f[1]), b(f[2]), a(f[3]) {}
    D3DXCOLOR(const D3DCOLORVALUE& c) : r(c.r), g(c.g), b(c.b), a(c.a) {}
    D3DXCOLOR(FLOAT fr, FLOAT fg, FLOAT fb, FLOAT fa) : r(fr), g(fg), b(fb), a(fa) {}

    operator DWORD() const;
    operator FLOAT*() { return &r; }
    operator const FLOAT*() const { return &r; }
    operator D3DCOLORVALUE() const { return D3DCOLORVALUE{r, g, b, a}; }

    D3DXCOLOR operator+(const D3DXCOLOR& c) const { return D3DXCOLOR(r + c.r, g + c.g, b + c.b, a + c.a); }
    D3DXCOLOR operator-(const D3DXCOLOR& c) const { return D3DXCOLOR(r - c.r, g - c.g, b - c.b, a - c.a); }
    D3DXCOLOR operator*(FLOAT f) const { return D3DXCOLOR(r * f, g * f, b * f, a * f); }
    bool operator==(const D3DXCOLOR& c) const { return r == c.r && g == c.g && b == c.b && a == c.a; }
    bool operator!=(const D3DXCOLOR& c) const { return !(*this == c); }
};

// ---- Math functions (platform/core/d3dx_math.cpp). Each returns pOut. ----
D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* pOut);
D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* pOut, FLOAT x, FLOAT y, FLOAT z);
D3DXMATRIX* WINAPI D3DXMatrixRotationX(D3DXMATRIX* pOut, FLOAT Angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationY(D3DXMATRIX* pOut, FLOAT Angle);
D3DXMATRIX* WINAPI D3DXMatrixRotationZ(D3DXMATRIX* pOut, FLOAT Angle);
// The axis is normalised first.
D3DXMATRIX* WINAPI D3DXMatrixRotationAxis(D3DXMATRIX* pOut, const D3DXVECTOR3* pV, FLOAT Angle);
D3DXMATRIX* WINAPI D3DXMatrixLookAtLH(D3DXMATRIX* pOut, const D3DXVECTOR3* pEye,
                                      const D3DXVECTOR3* pAt, const D3DXVECTOR3* pUp);
D3DXMATRIX* WINAPI D3DXMatrixPerspectiveFovLH(D3DXMATRIX* pOut, FLOAT fovy, FLOAT Aspect,
                                              FLOAT zn, FLOAT zf);
// The inverse of pM, and its determinant in *pDeterminant when that is not NULL; NULL, with
// pOut unchanged, when the determinant is 0.
D3DXMATRIX* WINAPI D3DXMatrixInverse(D3DXMATRIX* pOut, FLOAT* pDeterminant, const D3DXMATRIX* pM);
D3DXMATRIX* WINAPI D3DXMatrixTranspose(D3DXMATRIX* pOut, const D3DXMATRIX* pM);
// A zero vector gives the zero vector.
D3DXVECTOR3* WINAPI D3DXVec3Normalize(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV);
// (x, y, z, 1) * M, divided by its w.
D3DXVECTOR3* WINAPI D3DXVec3TransformCoord(D3DXVECTOR3* pOut, const D3DXVECTOR3* pV,
                                           const D3DXMATRIX* pM);

// ---- Objects ----
typedef const char* D3DXHANDLE;   // a parameter or technique given by its name

typedef struct _D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
} D3DXMACRO;

// A material as a mesh file gives it; pTextureFilename points into the same buffer, or is
// NULL when the material names no texture.
typedef struct _D3DXMATERIAL {
    D3DMATERIAL9 MatD3D;
    LPSTR pTextureFilename;
} D3DXMATERIAL;

#define D3DXMESH_32BIT 0x001
#define D3DXMESH_SYSTEMMEM 0x110
#define D3DXMESH_MANAGED 0x220
#define D3DXFX_DONOTSAVESTATE (1 << 0)

class ID3DXBuffer : public IUnknown {
public:
    virtual LPVOID GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};

class ID3DXBaseMesh : public IUnknown {
public:
    // Draws the triangles whose attribute id is AttribId with the device's current state.
    virtual HRESULT DrawSubset(DWORD AttribId) = 0;
};

class ID3DXMesh : public ID3DXBaseMesh {};

// ---- Effect reflection ----
typedef enum D3DXPARAMETER_CLASS {
    D3DXPC_SCALAR,
    D3DXPC_VECTOR,
    D3DXPC_MATRIX_ROWS,
    D3DXPC_MATRIX_COLUMNS,
    D3DXPC_OBJECT,
    D3DXPC_STRUCT,
} D3DXPARAMETER_CLASS;

typedef enum D3DXPARAMETER_TYPE {
    D3DXPT_VOID,
    D3DXPT_BOOL,
    D3DXPT_INT,
    D3DXPT_FLOAT,
    D3DXPT_STRING,
    D3DXPT_TEXTURE,
    D3DXPT_TEXTURE1D,
    D3DXPT_TEXTURE2D,
    D3DXPT_TEXTURE3D,
    D3DXPT_TEXTURECUBE,
    D3DXPT_SAMPLER,
    D3DXPT_SAMPLER1D,
    D3DXPT_SAMPLER2D,
    D3DXPT_SAMPLER3D,
    D3DXPT_SAMPLERCUBE,
    D3DXPT_PIXELSHADER,
    D3DXPT_VERTEXSHADER,
    D3DXPT_PIXELFRAGMENT,
    D3DXPT_VERTEXFRAGMENT,
    D3DXPT_UNSUPPORTED,
} D3DXPARAMETER_TYPE;

typedef struct _D3DXEFFECT_DESC {
    LPCSTR Creator;
    UINT Parameters;
    UINT Techniques;
    UINT Functions;
} D3DXEFFECT_DESC;

typedef struct _D3DXPARAMETER_DESC {
    LPCSTR Name;
    LPCSTR Semantic;
    D3DXPARAMETER_CLASS Class;
    D3DXPARAMETER_TYPE Type;
    UINT Rows;
    UINT Columns;
    UINT Elements;
    UINT Annotations;
    UINT StructMembers;
    DWORD Flags;
    UINT Bytes;
} D3DXPARAMETER_DESC;

typedef struct _D3DXTECHNIQUE_DESC {
    LPCSTR Name;
    UINT Passes;
    UINT Annotations;
} D3DXTECHNIQUE_DESC;

// The shader functions are Direct3D 9 token streams: the version token, comment blocks
// (the constant table among them) and the end token. Ours hold no instructions.
typedef struct _D3DXPASS_DESC {
    LPCSTR Name;
    UINT Annotations;
    const DWORD* pVertexShaderFunction;
    const DWORD* pPixelShaderFunction;
} D3DXPASS_DESC;

typedef enum _D3DXINCLUDE_TYPE {
    D3DXINC_LOCAL,
    D3DXINC_SYSTEM,
} D3DXINCLUDE_TYPE;

// The caller's reader of #include files. Open gets the name as written and the data of the
// including file (NULL for the effect file itself); the data stays valid until Close.
class ID3DXInclude {
public:
    virtual HRESULT Open(D3DXINCLUDE_TYPE IncludeType, LPCSTR pFileName, LPCVOID pParentData,
                         LPCVOID* ppData, UINT* pBytes) = 0;
    virtual HRESULT Close(LPCVOID pData) = 0;
protected:
    virtual ~ID3DXInclude() {}
};

class ID3DXBaseEffect : public IUnknown {
public:
    // Reflection. Handles of techniques, passes and annotations come from these calls; a
    // technique or parameter may also be given by its name. These default to failure for
    // effects that have no reflection.
    virtual HRESULT GetDesc(D3DXEFFECT_DESC* pDesc) {
        (void)pDesc;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT GetParameterDesc(D3DXHANDLE hParameter, D3DXPARAMETER_DESC* pDesc) {
        (void)hParameter;
        (void)pDesc;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT GetTechniqueDesc(D3DXHANDLE hTechnique, D3DXTECHNIQUE_DESC* pDesc) {
        (void)hTechnique;
        (void)pDesc;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT GetPassDesc(D3DXHANDLE hPass, D3DXPASS_DESC* pDesc) {
        (void)hPass;
        (void)pDesc;
        return D3DERR_INVALIDCALL;
    }
    // hParameter NULL: top-level parameter Index (struct members are not kept).
    virtual D3DXHANDLE GetParameter(D3DXHANDLE hParameter, UINT Index) {
        (void)hParameter;
        (void)Index;
        return NULL;
    }
    virtual D3DXHANDLE GetTechnique(UINT Index) {
        (void)Index;
        return NULL;
    }
    virtual D3DXHANDLE GetTechniqueByName(LPCSTR pName) {
        (void)pName;
        return NULL;
    }
    virtual D3DXHANDLE GetPass(D3DXHANDLE hTechnique, UINT Index) {
        (void)hTechnique;
        (void)Index;
        return NULL;
    }
    // Annotation Index of a parameter, technique or pass.
    virtual D3DXHANDLE GetAnnotation(D3DXHANDLE hObject, UINT Index) {
        (void)hObject;
        (void)Index;
        return NULL;
    }
    // The annotation of a parameter, technique or pass named exactly pName.
    virtual D3DXHANDLE GetAnnotationByName(D3DXHANDLE hObject, LPCSTR pName) {
        (void)hObject;
        (void)pName;
        return NULL;
    }
    // The text of a string parameter or annotation, valid while the effect lives.
    virtual HRESULT GetString(D3DXHANDLE hParameter, LPCSTR* ppString) {
        (void)hParameter;
        (void)ppString;
        return D3DERR_INVALIDCALL;
    }

    // Handles are names: a parameter's, or "name[i]" for element i of an array parameter.
    // These default to "no such parameter" for effects that have only the setters below.
    // hParameter NULL: the top-level parameter `pName`; else NULL (struct members are not
    // kept).
    virtual D3DXHANDLE GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName) {
        (void)hParameter;
        (void)pName;
        return NULL;
    }
    // Element `Index` of an array parameter; with hParameter NULL, top-level parameter Index.
    virtual D3DXHANDLE GetParameterElement(D3DXHANDLE hParameter, UINT Index) {
        (void)hParameter;
        (void)Index;
        return NULL;
    }
    // The whole value (every element) as it sits in memory; Bytes must hold it.
    virtual HRESULT SetValue(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes) {
        (void)hParameter;
        (void)pData;
        (void)Bytes;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT GetValue(D3DXHANDLE hParameter, LPVOID pData, UINT Bytes) {
        (void)hParameter;
        (void)pData;
        (void)Bytes;
        return D3DERR_INVALIDCALL;
    }
    // Each fails with D3DERR_INVALIDCALL, changing nothing, when the effect declares no
    // parameter of that name and type. The non-array setters refuse a whole array.
    virtual HRESULT SetFloat(D3DXHANDLE hParameter, FLOAT f) = 0;
    virtual HRESULT GetFloat(D3DXHANDLE hParameter, FLOAT* pf) {
        (void)hParameter;
        (void)pf;
        return D3DERR_INVALIDCALL;
    }
    // Up to Count numbers into the value, elements in order; more than it holds are ignored.
    virtual HRESULT SetFloatArray(D3DXHANDLE hParameter, const FLOAT* pf, UINT Count) {
        (void)hParameter;
        (void)pf;
        (void)Count;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT GetFloatArray(D3DXHANDLE hParameter, FLOAT* pf, UINT Count) {
        (void)hParameter;
        (void)pf;
        (void)Count;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT SetVector(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) = 0;
    virtual HRESULT GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) {
        (void)hParameter;
        (void)pVector;
        return D3DERR_INVALIDCALL;
    }
    // The first Count elements of a vector array; more than its elements fail.
    virtual HRESULT SetVectorArray(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector, UINT Count) {
        (void)hParameter;
        (void)pVector;
        (void)Count;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT GetVectorArray(D3DXHANDLE hParameter, D3DXVECTOR4* pVector, UINT Count) {
        (void)hParameter;
        (void)pVector;
        (void)Count;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT SetMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) = 0;
    virtual HRESULT GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) {
        (void)hParameter;
        (void)pMatrix;
        return D3DERR_INVALIDCALL;
    }
    // The first Count elements of a matrix array; more than its elements fail.
    virtual HRESULT SetMatrixArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) {
        (void)hParameter;
        (void)pMatrix;
        (void)Count;
        return D3DERR_INVALIDCALL;
    }
    virtual HRESULT GetMatrixArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) {
        (void)hParameter;
        (void)pMatrix;
        (void)Count;
        return D3DERR_INVALIDCALL;
    }
    // Backends without effect textures keep this default, which fails.
    virtual HRESULT SetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9* pTexture) {
        (void)hParameter;
        (void)pTexture;
        return D3DERR_INVALIDCALL;
    }
};

class ID3DXEffect : public ID3DXBaseEffect {
public:
    // The first technique after hTechnique (NULL: from the first) that validates on the
    // device: D3D_OK, or S_FALSE with *pTechnique NULL when none is left.
    virtual HRESULT FindNextValidTechnique(D3DXHANDLE hTechnique, D3DXHANDLE* pTechnique) {
        (void)hTechnique;
        if (pTechnique) *pTechnique = NULL;
        return D3DERR_INVALIDCALL;
    }
    // Fails with D3DERR_INVALIDCALL for a technique the effect does not have.
    virtual HRESULT SetTechnique(D3DXHANDLE hTechnique) = 0;
    // Writes the pass count of the current technique. Flags 0 saves the device state the
    // effect changes and restores it at End.
    virtual HRESULT Begin(UINT* pPasses, DWORD Flags) = 0;
    virtual HRESULT BeginPass(UINT Pass) = 0;
    // Inside a pass: sends the parameters changed since BeginPass (or the last commit) to
    // the device, the states and textures that read them included.
    virtual HRESULT CommitChanges() = 0;
    virtual HRESULT EndPass() = 0;
    virtual HRESULT End() = 0;
};

// An effect file compiled without a device: the reflection of ID3DXBaseEffect, values as
// the file initialises them. Nothing of it draws.
class ID3DXEffectCompiler : public ID3DXBaseEffect {};

class ID3DXSprite;   // only ever passed as NULL to DrawTextA
class ID3DXEffectPool;

class ID3DXFont : public IUnknown {
public:
    // Count -1: pString is zero-terminated. Returns the height of the text drawn, 0 on failure.
    virtual INT DrawTextA(ID3DXSprite* pSprite, LPCSTR pString, INT Count, LPRECT pRect,
                          DWORD Format, D3DCOLOR Color) = 0;
};

typedef ID3DXBuffer* LPD3DXBUFFER;
typedef ID3DXMesh* LPD3DXMESH;
typedef ID3DXEffect* LPD3DXEFFECT;
typedef ID3DXFont* LPD3DXFONT;
typedef ID3DXSprite* LPD3DXSPRITE;
typedef ID3DXInclude* LPD3DXINCLUDE;
typedef ID3DXEffectPool* LPD3DXEFFECTPOOL;
typedef ID3DXEffectCompiler* LPD3DXEFFECTCOMPILER;

// ---- Creation functions (forward to the active backend) ----
// ppMaterials receives an array of *pNumMaterials D3DXMATERIAL.
HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                  LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                  LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials,
                                  LPD3DXMESH* ppMesh);
HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                          LPDIRECT3DTEXTURE9* ppTexture);
HRESULT WINAPI D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                         const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                         DWORD Flags, LPD3DXEFFECTPOOL pPool,
                                         LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors);
// Reads, preprocesses and compiles an effect file as D3DXCreateEffectFromFileA does, with no
// device. pDefines ends with a {NULL, NULL} entry; pInclude NULL reads includes next to the
// including file.
HRESULT WINAPI D3DXCreateEffectCompilerFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                                 LPD3DXINCLUDE pInclude, DWORD Flags,
                                                 LPD3DXEFFECTCOMPILER* ppCompiler,
                                                 LPD3DXBUFFER* ppParseErrors);
HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight,
                               UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                               DWORD Quality, DWORD PitchAndFamily, LPCSTR pFaceName,
                               LPD3DXFONT* ppFont);

#define D3DXERR_INVALIDDATA MESHES_D3DERR(2905)

// ---- Shader functions (platform/core, no backend) ----
// The version token of a shader function: 0xFFFE0000 | major << 8 | minor for vertex
// shaders, 0xFFFF0000 | ... for pixel shaders; 0 for NULL.
DWORD WINAPI D3DXGetShaderVersion(const DWORD* pFunction);
// The names of the samplers a shader function uses, by register: ppSamplers[n] names the
// sampler of register sn (NULL for a register not used); *pCount is the highest register
// used plus one. ppSamplers NULL asks for the count only.
HRESULT WINAPI D3DXGetShaderSamplers(const DWORD* pFunction, LPCSTR* ppSamplers, UINT* pCount);

#endif  // _WIN32
#endif  // MESHES_PLATFORM_D3DX9_H
