// The frame benchmark's yardstick: the fewest OpenGL 3.3 calls that draw what a benchmark
// level (bench/frame/make_level.py) asks of the engine. One VBO and index buffer per object's
// mesh, one Phong program (the level's effect written in GLSL), and per light the N draws,
// lights after the first added with ONE/ONE blending and no depth writes, back faces culled
// in every pass unless the scene says "cull none". With "one-pass", one draw per object
// lights it with all the lights (up to 8), the same lighting per pixel, each light's share
// clamped as its own pass would be. No text, no markers, no console, no off-screen buffer.
// Prints the statistics line a timed meshes run prints.
//
//   bench_frame_minimal LEVEL_DIR SECONDS [one-pass]     (reads LEVEL_DIR/scene.txt)
#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/frame_stats.h"
#include "platform/core/image.h"
#include "platform/core/xfile.h"

namespace {

// Row-major 4x4 matrices used with row vectors (v * M), as the engine's math library does.
struct Mat {
    float m[16];
};

Mat Multiply(const Mat& a, const Mat& b) {
    Mat r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i * 4 + k] * b.m[k * 4 + j];
            r.m[i * 4 + j] = s;
        }
    return r;
}

Mat Translation(float x, float y, float z) {
    Mat r{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}};
    return r;
}

void Normalise(float v[3]) {
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0)
        for (int i = 0; i < 3; ++i) v[i] /= len;
}

void Cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Left-handed look-at view, y up.
Mat LookAtLH(const float eye[3], const float at[3]) {
    const float up[3] = {0, 1, 0};
    float z[3] = {at[0] - eye[0], at[1] - eye[1], at[2] - eye[2]};
    Normalise(z);
    float x[3], y[3];
    Cross(up, z, x);
    Normalise(x);
    Cross(z, x, y);
    Mat r{{x[0], y[0], z[0], 0, x[1], y[1], z[1], 0, x[2], y[2], z[2], 0,
           -Dot(x, eye), -Dot(y, eye), -Dot(z, eye), 1}};
    return r;
}

// Left-handed perspective, depth 0..1 at the near and far planes.
Mat PerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    float ys = 1.0f / std::tan(fovY / 2), xs = ys / aspect, q = zf / (zf - zn);
    Mat r{{xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0}};
    return r;
}

struct Light {
    float pos[3], colour[3], falloff, specular, specularIntensity, ambient, attenuation;
};

struct Scene {
    std::string mesh, texture;
    bool cullBack = true;   // "cull back" (clockwise on screen is the front) or "cull none"
    int width = 640, height = 480;   // the client area the engine draws into
    float eye[3] = {0, 0, 0}, look[3] = {0, 0, 1};
    std::vector<Light> lights;
    std::vector<std::array<float, 3>> objects;
};

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

bool ReadScene(const std::string& path, Scene& s, std::string& err) {
    std::ifstream f(path);
    if (!f) {
        err = "cannot read " + path;
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(f, line)) {
        ++lineNo;
        std::istringstream in(line);
        std::string key;
        if (!(in >> key) || key[0] == '#') continue;
        bool ok = true;
        if (key == "mesh") {
            ok = static_cast<bool>(in >> s.mesh);
        } else if (key == "cull") {
            std::string mode;
            ok = static_cast<bool>(in >> mode) && (mode == "back" || mode == "none");
            s.cullBack = mode == "back";
        } else if (key == "texture") {
            ok = static_cast<bool>(in >> s.texture);
        } else if (key == "client") {
            ok = static_cast<bool>(in >> s.width >> s.height) && s.width > 0 && s.height > 0 &&
                 s.width <= 8192 && s.height <= 8192;
        } else if (key == "camera") {
            ok = static_cast<bool>(in >> s.eye[0] >> s.eye[1] >> s.eye[2] >> s.look[0] >> s.look[1] >>
                                   s.look[2]);
        } else if (key == "light") {
            Light l;
            ok = static_cast<bool>(in >> l.pos[0] >> l.pos[1] >> l.pos[2] >> l.colour[0] >> l.colour[1] >>
                                   l.colour[2] >> l.falloff >> l.specular >> l.specularIntensity >>
                                   l.ambient >> l.attenuation);
            if (ok) s.lights.push_back(l);
        } else if (key == "object") {
            std::array<float, 3> p;
            ok = static_cast<bool>(in >> p[0] >> p[1] >> p[2]);
            if (ok) s.objects.push_back(p);
        }   // other records ("screen") are for people reading the file
        if (!ok) {
            err = path + ":" + std::to_string(lineNo) + ": bad '" + key + "' line";
            return false;
        }
    }
    if (s.mesh.empty() || s.texture.empty() || s.lights.empty() || s.objects.empty()) {
        err = path + ": needs a mesh, a texture, a light and an object";
        return false;
    }
    return true;
}

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
layout(location = 2) in vec2 inUv;
uniform mat4 mat_World_View_Proj;
uniform mat4 matWorld;
out vec2 uv;
out vec3 worldPos;
out vec3 normal;
void main() {
    vec4 p = vec4(inPosition, 1.0);
    gl_Position = mat_World_View_Proj * p;
    worldPos = (matWorld * p).xyz;
    normal = mat3(matWorld) * inNormal;
    uv = inUv;
}
)";

// The per-pixel lighting of one light; LIGHTS > 0 sums LIGHTS lights from arrays in one pass.
const char* kFragmentShader = R"(
in vec2 uv;
in vec3 worldPos;
in vec3 normal;
uniform vec4 View_Pos;
uniform sampler2D DiffuseSampler;
out vec4 colourOut;
#if LIGHTS == 0
uniform vec4 LightPos;
uniform vec4 LightColor;
uniform float LightFalloff;
uniform float LightSpecular;
uniform float LightSpecular_Itens;
uniform float LightAmbient;
uniform float Attenuation;
#define COUNT 1
#define AT(name, i) name
#else
uniform vec4 LightPos[LIGHTS];
uniform vec4 LightColor[LIGHTS];
uniform float LightFalloff[LIGHTS];
uniform float LightSpecular[LIGHTS];
uniform float LightSpecular_Itens[LIGHTS];
uniform float LightAmbient[LIGHTS];
uniform float Attenuation[LIGHTS];
#define COUNT LIGHTS
#define AT(name, i) name[i]
#endif
void main() {
    vec3 n = normalize(normal);
    vec3 v = normalize(View_Pos.xyz - worldPos);
    vec4 texel = texture(DiffuseSampler, uv);
    vec3 sum = vec3(0.0);
    for (int i = 0; i < COUNT; ++i) {
        vec3 toLight = AT(LightPos, i).xyz - worldPos;
        float distance = length(toLight);
        vec3 l = toLight / max(distance, 0.0001);
        float fade = clamp(1.0 - distance / AT(LightFalloff, i), 0.0, 1.0);
        float strength = mix(1.0, fade, AT(Attenuation, i));
        float diffuse = clamp(dot(n, l), 0.0, 1.0);
        vec3 r = reflect(-l, n);
        float specular = (diffuse > 0.0) ? pow(clamp(dot(r, v), 0.0, 1.0), AT(LightSpecular, i)) : 0.0;
        vec3 colour = texel.rgb * AT(LightColor, i).rgb * (AT(LightAmbient, i) + diffuse * strength)
                    + AT(LightColor, i).rgb * (specular * AT(LightSpecular_Itens, i) * strength);
        sum += COUNT == 1 ? colour : clamp(colour, 0.0, 1.0);
    }
    colourOut = vec4(sum, texel.a);
}
)";

GLuint Compile(GLenum type, const std::string& text, std::string& err) {
    GLuint s = glCreateShader(type);
    const char* source = text.c_str();
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        err = log;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

struct GpuMesh {
    GLuint vao = 0, vbo = 0, ibo = 0;
    GLsizei indexCount = 0;
};

GpuMesh Upload(const core::XMesh& mesh) {
    std::vector<float> v;
    v.reserve(mesh.vertices.size() * 8);
    for (const core::XVertex& x : mesh.vertices) {
        v.insert(v.end(), {x.pos[0], x.pos[1], x.pos[2], x.normal[0], x.normal[1], x.normal[2],
                           x.uv[0], x.uv[1]});
    }
    GpuMesh g;
    glGenVertexArrays(1, &g.vao);
    glBindVertexArray(g.vao);
    glGenBuffers(1, &g.vbo);
    glBindBuffer(GL_ARRAY_BUFFER, g.vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(float)), v.data(),
                 GL_STATIC_DRAW);
    glGenBuffers(1, &g.ibo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, g.ibo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(mesh.indices.size() * 4),
                 mesh.indices.data(), GL_STATIC_DRAW);
    const GLsizei stride = 8 * sizeof(float);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(3 * sizeof(float)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(6 * sizeof(float)));
    glBindVertexArray(0);
    g.indexCount = static_cast<GLsizei>(mesh.indices.size());
    return g;
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "bench_frame_minimal: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool onePass = argc == 4 && std::strcmp(argv[3], "one-pass") == 0;
    if (argc != 3 && !onePass) return Fail("usage: bench_frame_minimal LEVEL_DIR SECONDS [one-pass]");
    const std::string dir = argv[1];
    double seconds = 0;
    std::string err;
    if (!framestats::ParseSeconds(argv[2], seconds, err)) return Fail(err);
    Scene scene;
    if (!ReadScene(dir + "/scene.txt", scene, err)) return Fail(err);

    std::vector<uint8_t> bytes;
    core::XMesh mesh;
    if (!ReadFile(dir + "/" + scene.mesh, bytes) || !core::ReadXFile(bytes.data(), bytes.size(), mesh, err))
        return Fail("cannot load the mesh " + scene.mesh + ": " + err);
    core::Image image;
    if (!ReadFile(dir + "/" + scene.texture, bytes) ||
        !core::DecodeImage(bytes.data(), bytes.size(), image, err))
        return Fail("cannot load the texture " + scene.texture + ": " + err);

    if (SDL_Init(SDL_INIT_VIDEO) != 0) return Fail(std::string("SDL: ") + SDL_GetError());
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_Window* window = SDL_CreateWindow("bench_frame_minimal", SDL_WINDOWPOS_UNDEFINED,
                                          SDL_WINDOWPOS_UNDEFINED, scene.width, scene.height,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (!window) return Fail(std::string("window: ") + SDL_GetError());
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) return Fail(std::string("OpenGL 3.3 core context: ") + SDL_GetError());
    SDL_GL_SetSwapInterval(0);

    GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader, err);
    const int lights = onePass ? static_cast<int>(std::min<size_t>(scene.lights.size(), 8)) : 0;
    GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, "#version 330 core\n#define LIGHTS " +
                                 std::to_string(lights) + kFragmentShader, err) : 0;
    if (!fs) return Fail("shader: " + err);
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) return Fail("the Phong program does not link");
    auto U = [program](const char* name) { return glGetUniformLocation(program, name); };
    const GLint uWvp = U("mat_World_View_Proj"), uWorld = U("matWorld"), uView = U("View_Pos"),
                uLightPos = U("LightPos"), uLightColour = U("LightColor"), uFalloff = U("LightFalloff"),
                uSpecular = U("LightSpecular"), uSpecularIntensity = U("LightSpecular_Itens"),
                uAmbient = U("LightAmbient"), uAttenuation = U("Attenuation");
    glUseProgram(program);
    glUniform1i(U("DiffuseSampler"), 0);
    // Lights first .. first + count - 1 into the uniforms (arrays of count in one pass), from
    // the stack: the yardstick allocates nothing a frame.
    auto SetLights = [&](size_t first, int count) {
        float pos[8][4], colour[8][4], falloff[8], specular[8], intensity[8], ambient[8], attenuation[8];
        for (int k = 0; k < count; ++k) {
            const Light& l = scene.lights[first + k];
            for (int c = 0; c < 3; ++c) {
                pos[k][c] = l.pos[c];
                colour[k][c] = l.colour[c];
            }
            pos[k][3] = colour[k][3] = 1.0f;
            falloff[k] = l.falloff;
            specular[k] = l.specular;
            intensity[k] = l.specularIntensity;
            ambient[k] = l.ambient;
            attenuation[k] = l.attenuation;
        }
        glUniform4fv(uLightPos, count, pos[0]);
        glUniform4fv(uLightColour, count, colour[0]);
        glUniform1fv(uFalloff, count, falloff);
        glUniform1fv(uSpecular, count, specular);
        glUniform1fv(uSpecularIntensity, count, intensity);
        glUniform1fv(uAmbient, count, ambient);
        glUniform1fv(uAttenuation, count, attenuation);
    };

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 image.rgba.data());
    glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    // One mesh per object, as each object of a level loads its own.
    std::vector<GpuMesh> meshes;
    std::vector<Mat> worlds;
    for (const auto& p : scene.objects) {
        meshes.push_back(Upload(mesh));
        worlds.push_back(Translation(p[0], p[1], p[2]));
    }
    const Mat view = LookAtLH(scene.eye, scene.look);
    const Mat projection = PerspectiveFovLH(0.7853982f, 1.3333334f, 1.0f, 15000.0f);
    const Mat viewProjection = Multiply(view, projection);

    glViewport(0, 0, scene.width, scene.height);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    // The engine's meshes are wound clockwise on screen, Direct3D's front; the window's rows
    // run bottom up here, so that is GL's clockwise too.
    if (scene.cullBack) {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
        glCullFace(GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
    }
    glClearColor(24 / 255.0f, 28 / 255.0f, 40 / 255.0f, 1.0f);
    glClearDepth(1.0);

    framestats::FrameStats stats;
    stats.SetWarmUp(framestats::WarmUpFor(seconds));   // the first second uncounted, as meshes does
    bool running = true;
    while (running) {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            if (e.type == SDL_QUIT) running = false;

        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);
        for (size_t li = 0; li < (onePass ? 1 : scene.lights.size()); ++li) {
            if (li == 0) {
                glDisable(GL_BLEND);
                glDepthMask(GL_TRUE);
            } else {
                glEnable(GL_BLEND);
                glBlendFunc(GL_ONE, GL_ONE);
                glDepthMask(GL_FALSE);
            }
            glUniform4f(uView, scene.eye[0], scene.eye[1], scene.eye[2], 1.0f);
            SetLights(li, onePass ? lights : 1);
            for (size_t i = 0; i < meshes.size(); ++i) {
                const Mat wvp = Multiply(worlds[i], viewProjection);
                glUniformMatrix4fv(uWvp, 1, GL_FALSE, wvp.m);   // row-major rows become columns
                glUniformMatrix4fv(uWorld, 1, GL_FALSE, worlds[i].m);
                glBindVertexArray(meshes[i].vao);
                glDrawElements(GL_TRIANGLES, meshes[i].indexCount, GL_UNSIGNED_INT, nullptr);
            }
        }
        glBindVertexArray(0);
        SDL_GL_SwapWindow(window);
        stats.Present(framestats::MonotonicSeconds(), framestats::ProcessCpuSeconds());
        if (stats.Elapsed() >= seconds) running = false;
    }
    std::printf("%s\n", framestats::FormatLine("minimal", stats.Summarise()).c_str());

    for (GpuMesh& g : meshes) {
        glDeleteVertexArrays(1, &g.vao);
        glDeleteBuffers(1, &g.vbo);
        glDeleteBuffers(1, &g.ibo);
    }
    glDeleteTextures(1, &texture);
    glDeleteProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
