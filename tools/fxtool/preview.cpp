#include "tools/fxtool/preview.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scene/effect_binding.h"

#ifndef _WIN32
#include <unistd.h>

#include "platform/backend.h"
#include "platform/core/file_bytes.h"
#include "platform/core/xfile.h"
#include "platform/sdl_gl/sdl_backend.h"
#endif

bool TakePreviewOptions(std::vector<std::string>& args, PreviewOptions& o, std::string& why) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i], value;
        std::string name = a.substr(0, a.find('='));
        std::string* to = name == "--mesh" ? &o.mesh : name == "--texture" ? &o.texture
                        : name == "--technique" ? &o.technique : name == "-o" ? &o.out : nullptr;
        if (a == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        if (!to && name != "--size") {
            rest.push_back(a);
            continue;
        }
        if (a.size() > name.size()) {
            value = a.substr(name.size() + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            why = "option " + name + " needs a value";
            return false;
        }
        if (to) {
            *to = value;
            continue;
        }
        int w = 0, h = 0;
        char x = 0, extra = 0;
        if (std::sscanf(value.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') ||
            w < 16 || h < 16 || w > 4096 || h > 4096) {
            why = "--size takes WxH, each 16 to 4096, not '" + value + "'";
            return false;
        }
        o.width = w;
        o.height = h;
    }
    if (o.out.empty()) {
        why = "preview needs -o OUT.png";
        return false;
    }
    args = rest;
    return true;
}

#ifdef _WIN32

int Preview(const std::string&, const D3DXMACRO*, ID3DXInclude*, const PreviewOptions&) {
    std::fputs("fxtool: preview is not in the Windows build: it draws with the Linux window backend\n",
               stderr);
    return 2;
}

#else

namespace {

// A sphere of radius 1 around the origin with normals and texture coordinates, as .x text:
// `rings` bands from pole to pole, `segments` around; the seam has vertices of its own.
std::string SphereX(const std::string& texture) {
    const int rings = 24, segments = 48;
    const float pi = 3.14159265f;
    std::string pos, nor, uv, faces;
    char buf[160];
    int vertices = 0, triangles = 0;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            float v = static_cast<float>(r) / rings, u = static_cast<float>(s) / segments;
            float y = std::cos(v * pi), ring = std::sin(v * pi);
            // The seam (u = 0) at the back, away from the camera.
            float x = -ring * std::sin(u * 2 * pi), z = ring * std::cos(u * 2 * pi);
            std::snprintf(buf, sizeof buf, "%s%.6f;%.6f;%.6f;", vertices ? ",\n" : "", x, y, z);
            pos += buf;
            nor += buf;
            std::snprintf(buf, sizeof buf, "%s%.6f;%.6f;", vertices ? ",\n" : "", u, v);
            uv += buf;
            ++vertices;
        }
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            int a = r * (segments + 1) + s, b = a + segments + 1;
            std::snprintf(buf, sizeof buf, "%s3;%d,%d,%d;,\n3;%d,%d,%d;", triangles ? ",\n" : "", a, a + 1, b,
                          a + 1, b + 1, b);
            faces += buf;
            triangles += 2;
        }
    std::string material = "Material { 1.0;1.0;1.0;1.0;; 16.0; 0.3;0.3;0.3;; 0.0;0.0;0.0;;";
    if (!texture.empty()) material += " TextureFilename { \"" + texture + "\"; }";
    material += " }";
    std::string zeros = "0";
    for (int t = 1; t < triangles; ++t) zeros += ",0";
    return "xof 0303txt 0032\nMesh sphere {\n" + std::to_string(vertices) + ";\n" + pos + ";\n" +
           std::to_string(triangles) + ";\n" + faces + ";\nMeshNormals {\n" + std::to_string(vertices) +
           ";\n" + nor + ";\n" + std::to_string(triangles) + ";\n" + faces + ";\n}\nMeshTextureCoords {\n" +
           std::to_string(vertices) + ";\n" + uv + ";\n}\nMeshMaterialList {\n1;\n" +
           std::to_string(triangles) + ";\n" + zeros + ";\n" + material + "\n}\n}\n";
}

std::string Folder(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The centre and radius of the mesh's vertices (the unit sphere when unread).
void Bounds(const std::string& file, D3DXVECTOR3& centre, float& radius) {
    centre = D3DXVECTOR3(0, 0, 0);
    radius = 1;
    std::vector<uint8_t> bytes;
    core::XMesh mesh;
    std::string err;
    if (!core::ReadFileBytes(file.c_str(), bytes) || !core::ReadXFile(bytes.data(), bytes.size(), mesh, err) ||
        mesh.vertices.empty())
        return;
    D3DXVECTOR3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    for (const core::XVertex& v : mesh.vertices) {
        lo = D3DXVECTOR3(std::fmin(lo.x, v.pos[0]), std::fmin(lo.y, v.pos[1]), std::fmin(lo.z, v.pos[2]));
        hi = D3DXVECTOR3(std::fmax(hi.x, v.pos[0]), std::fmax(hi.y, v.pos[1]), std::fmax(hi.z, v.pos[2]));
    }
    centre = (lo + hi) * 0.5f;
    D3DXVECTOR3 half = (hi - lo) * 0.5f;
    radius = std::sqrt(half.x * half.x + half.y * half.y + half.z * half.z);
    if (radius <= 0) radius = 1;
}

IDirect3DTexture9* LoadTexture(IDirect3DDevice9* device, const std::vector<std::string>& tries) {
    IDirect3DTexture9* t = nullptr;
    for (const std::string& path : tries)
        if (!t && FAILED(D3DXCreateTextureFromFileA(device, path.c_str(), &t))) t = nullptr;
    return t;
}

LRESULT CALLBACK PreviewProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// The device of a hidden window whose client area is width x height, with the engine's states.
IDirect3DDevice9* MakeDevice(int width, int height) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PreviewProc;
    wc.lpszClassName = "fxtool_preview";
    RegisterClassExA(&wc);
    // An overlapped window adds 8 pixels each side and a 23-pixel caption.
    HWND window = CreateWindowExA(0, "fxtool_preview", "fxtool preview", WS_OVERLAPPEDWINDOW, 0, 0,
                                  width + 16, height + 39, NULL, NULL, NULL, NULL);
    IDirect3D9* d3d = window ? Direct3DCreate9(D3D_SDK_VERSION) : nullptr;
    if (!d3d) return nullptr;
    D3DPRESENT_PARAMETERS present = {};
    present.SwapEffect = D3DSWAPEFFECT_DISCARD;
    present.Windowed = TRUE;
    present.EnableAutoDepthStencil = TRUE;
    present.AutoDepthStencilFormat = D3DFMT_D24S8;
    present.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                 D3DCREATE_SOFTWARE_VERTEXPROCESSING, &present, &device)))
        return nullptr;
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
    device->SetRenderState(D3DRS_CULLMODE, 0x7FFFFFFF);
    device->SetRenderState(D3DRS_LIGHTING, 1);
    for (DWORD s : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER, D3DSAMP_MIPFILTER})
        device->SetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(s), D3DTEXF_ANISOTROPIC);
    return device;
}

// The engine's own names, with the light's default values and a falloff that reaches the mesh.
void SetEngineNames(ID3DXEffect* e, const BindingScene& s, float radius) {
    D3DXMATRIX wvp;
    D3DXMatrixMultiply(&wvp, s.world, s.view);
    D3DXMatrixMultiply(&wvp, &wvp, s.projection);
    D3DXVECTOR4 eye(s.eye, 1.0f);
    e->SetVector("View_Pos", &eye);
    e->SetMatrix("mat_World_View_Proj", &wvp);
    e->SetMatrix("matWorld", s.world);
    e->SetVector("LightPos", &s.lights[0].position);
    e->SetVector("LightColor", &s.lights[0].colour);
    e->SetFloat("LightFalloff", 20 * radius);
    e->SetFloat("LightSpecular", 8.5f);
    e->SetFloat("LightSpecular_Itens", 0.19f);
    e->SetFloat("LightAmbient", s.lights[0].ambient);
    e->SetFloat("Attenuation", 0.8f);
}

}  // namespace

int Preview(const std::string& file, const D3DXMACRO* macros, ID3DXInclude* include, const PreviewOptions& o) {
    // Off screen: no display is needed.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("MESHES_NO_DIALOGS", "1", 1);
    std::string why;
    platform::RegisterSdlGlBackend();
    if (!platform::Select("sdl", why)) {
        std::fprintf(stderr, "fxtool: preview: %s\n", why.c_str());
        return 2;
    }
    IDirect3DDevice9* device = MakeDevice(o.width, o.height);
    if (!device) {
        std::fputs("fxtool: preview: no OpenGL device could be made off screen\n", stderr);
        return 2;
    }

    // The mesh, its materials and textures.
    std::string meshFile = o.mesh;
    char temp[] = "/tmp/fxtool_sphere_XXXXXX";
    if (meshFile.empty()) {
        int fd = mkstemp(temp);
        std::string text = SphereX("");
        if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            std::fputs("fxtool: preview: cannot write the built-in sphere\n", stderr);
            return 2;
        }
        close(fd);
        meshFile = temp;
    }
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* materialBuffer = nullptr;
    DWORD count = 0;
    HRESULT hr = D3DXLoadMeshFromXA(meshFile.c_str(), D3DXMESH_MANAGED, device, nullptr, &materialBuffer,
                                    nullptr, &count, &mesh);
    D3DXVECTOR3 centre;
    float radius;
    Bounds(meshFile, centre, radius);
    if (o.mesh.empty()) unlink(temp);
    if (FAILED(hr) || !mesh || !materialBuffer) {
        std::fprintf(stderr, "fxtool: preview: cannot load the mesh %s\n", meshFile.c_str());
        return 1;
    }
    const D3DXMATERIAL* source = static_cast<const D3DXMATERIAL*>(materialBuffer->GetBufferPointer());
    std::vector<D3DMATERIAL9> materials(count);
    std::vector<IDirect3DTexture9*> textures(count, nullptr);
    IDirect3DTexture9* given = nullptr;
    if (!o.texture.empty() && !(given = LoadTexture(device, {o.texture}))) {
        std::fprintf(stderr, "fxtool: preview: cannot load the texture %s\n", o.texture.c_str());
        return 1;
    }
    for (DWORD m = 0; m < count; ++m) {
        materials[m] = source[m].MatD3D;
        materials[m].Ambient = materials[m].Diffuse;   // as the engine loads its objects
        const char* name = source[m].pTextureFilename;
        textures[m] = given ? given
                    : name && *name ? LoadTexture(device, {name, Folder(o.mesh) + name, std::string("textures\\") + name})
                                    : nullptr;
    }

    // The effect and its binding.
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    hr = D3DXCreateEffectFromFileA(device, file.c_str(), macros, include, 0, nullptr, &effect, &errors);
    if (errors) {
        std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stdout);
        errors->Release();
    }
    if (FAILED(hr) || !effect) {
        std::printf("%s: failed\n", file.c_str());
        return 1;
    }
    EffectBinding binding;
    BindEffect(effect, binding);
    std::vector<std::string> missing;
    LoadBindingTextures(device, effect, file.c_str(), binding, missing);
    for (const std::string& m : missing) std::fprintf(stderr, "fxtool: preview: cannot find the texture %s\n", m.c_str());
    D3DXHANDLE technique = o.technique.empty()
                               ? (binding.engineTechniques ? "ald_Phong" : binding.technique)
                               : effect->GetTechniqueByName(o.technique.c_str());
    if (!technique || FAILED(effect->SetTechnique(technique))) {
        std::fprintf(stderr, "fxtool: preview: %s has no technique %s\n", file.c_str(),
                     o.technique.empty() ? "to draw with" : ("'" + o.technique + "'").c_str());
        return 1;
    }

    // Camera in front of the mesh, a little above; the light above, right and in front.
    D3DXMATRIX world, view, projection;
    D3DXMatrixIdentity(&world);
    BindingScene scene;
    scene.world = &world;
    scene.view = &view;
    scene.projection = &projection;
    scene.lookAt = centre;
    scene.eye = centre + D3DXVECTOR3(0, 0.8f * radius, -2.6f * radius);
    D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &scene.eye, &scene.lookAt, &up);
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 4, static_cast<float>(o.width) / o.height, 0.05f * radius,
                               20 * radius);
    BindingLight& light = scene.lights[0];
    light.position = D3DXVECTOR4(centre + D3DXVECTOR3(2 * radius, 2.5f * radius, -2 * radius), 1.0f);
    light.lookAt = centre;
    light.colour = D3DXVECTOR4(1, 1, 1, 1);
    light.ambient = 0.005f;
    scene.lightCount = 1;

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(24, 28, 40), 1.0f, 0);
    device->BeginScene();
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    SetEngineNames(effect, scene, radius);
    ApplyDraw(effect, binding, scene);
    DrawEffectPasses(device, effect, binding, mesh, materials.data(), textures.data(), count);
    device->EndScene();
    if (!sdlgl::SaveScreenshot(device, o.out.c_str())) {
        std::fprintf(stderr, "fxtool: preview: cannot write %s\n", o.out.c_str());
        return 1;
    }
    std::printf("%s: %s\n", file.c_str(), o.out.c_str());
    return 0;
}

#endif
