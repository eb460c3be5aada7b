// Effect files written as Direct3D 9 authors wrote them (corpus/), each drawn the engine's
// way: the technique for the first light, every pass begun, the mesh's texture set on stage 0
// after BeginPass, then the technique for a further light added on top. A quad facing a
// white light carries a texture red on its left half and blue on its right: each effect
// must show those colours where they are, lit.
#include <cstdio>
#include <vector>

#include "fx_fixture.h"

namespace sdltest {
namespace {

class CorpusTest : public FxTest {
protected:
    IDirect3DTexture9* HalfAndHalf() {
        std::vector<uint8_t> rgba(8 * 8 * 4);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                uint8_t* p = &rgba[static_cast<size_t>((y * 8 + x) * 4)];
                bool left = x < 4;
                p[0] = left ? 0x80 : 0x10;
                p[1] = 0x10;
                p[2] = left ? 0x10 : 0x80;
                p[3] = 0xFF;
            }
        return new sdlgl::SdlTexture(Sdl(), Sdl()->Gl().CreateTexture(8, 8, rgba.data(), 1));
    }

    ID3DXEffect* Load(const std::string& file) {
        ID3DXEffect* e = nullptr;
        std::string messages;
        std::string path = std::string(FX_CORPUS_DIR) + "/" + file;
        EXPECT_EQ(library_->CreateFromFile(path.c_str(), &e, messages), D3D_OK) << messages;
        return e;
    }

    void SetEngineConstants(ID3DXEffect* e) {
        D3DXMATRIX id;
        D3DXMatrixIdentity(&id);
        e->SetMatrix("mat_World_View_Proj", &id);
        e->SetMatrix("matWorld", &id);
        D3DXVECTOR4 light(0, 0, -5, 1), colour(1, 1, 1, 1), eye(0, 0, -5, 1);
        e->SetVector("LightPos", &light);
        e->SetVector("LightColor", &colour);
        e->SetVector("View_Pos", &eye);
    }

    void DrawLit(ID3DXEffect* e, const char* technique, IDirect3DTexture9* texture) {
        ASSERT_EQ(e->SetTechnique(technique), D3D_OK);
        UINT passes = 0;
        ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
        LitVertex v[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0}, {1, 1, 0.5f, 0, 0, -1, 1, 0},
                          {-1, -1, 0.5f, 0, 0, -1, 0, 1}, {1, -1, 0.5f, 0, 0, -1, 1, 1}};
        for (UINT p = 0; p < passes; ++p) {
            ASSERT_EQ(e->BeginPass(p), D3D_OK);
            device_->SetTexture(0, texture);
            device_->SetFVF(kLitFvf);
            device_->BeginScene();
            ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
            device_->EndScene();
            e->EndPass();
        }
        e->End();
        pixels_.clear();
    }

    // Each file drawn for a first light must show the texture's red left and blue right half,
    // at least `lit` bright, with no GL error; a further light must add to it.
    void ExpectTextureLitAndLightAdded(const std::vector<const char*>& files, int lit) {
        IDirect3DTexture9* texture = HalfAndHalf();
        for (const char* file : files) {
            SCOPED_TRACE(file);
            ID3DXEffect* e = Load(file);
            if (!e) continue;
            SetEngineConstants(e);
            while (glGetError() != GL_NO_ERROR) {
            }
            Clear(0xFF000000);
            DrawLit(e, "ald_Phong", texture);
            // A cube sampler and 2D samplers in one program, with nothing on the cube's stage.
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            Rgb left = PixelAt(-0.5f, 0), right = PixelAt(0.5f, 0);
            EXPECT_TRUE(left.r > lit && left.g < 50 && left.b < 50) << "left: " << left;
            EXPECT_TRUE(right.b > lit && right.r < 50 && right.g < 50) << "right: " << right;
            DrawLit(e, "ald_Phong_alpha", texture);
            Rgb added = PixelAt(-0.5f, 0);
            EXPECT_GT(added.r, left.r + 60) << "the second light adds: " << added;
            EXPECT_LT(added.b, 100) << added;
            e->Release();
        }
        device_->SetTexture(0, nullptr);
        texture->Release();
    }
};

TEST_F(CorpusTest, EachEffectShowsItsTextureLitAndAddsAFurtherLight) {
    ExpectTextureLitAndLightAdded({"sampler_state.fx", "macros_include.fx", "loops_clip.fx",
                                   "normal_map.fx", "env_multipass.fx", "shader_variables.fx"},
                                  90);
}

// One programmable stage and the other fixed-function, effect lights and texture coordinate
// states, cube and projected samplers with nothing set on their stages.
TEST_F(CorpusTest, FixedFunctionStagesLightsAndEmptySamplersShowTheTextureLit) {
    ExpectTextureLitAndLightAdded(
        {"ps_only_passes.fx", "vs_fixed_pixel.fx", "fixed_function_lit.fx", "cube_projected.fx"}, 110);
}

// Constructs of the Direct3D 9 compiler and effects beyond plain HLSL: compile arguments that
// are expressions, stages linked by semantic register, casts to arrays and flat array
// initialisers, constructors assigned to, vertex inputs no format feeds, array elements in
// states, entry points declared before a library defines them, `#pragma once`.
TEST_F(CorpusTest, CompilerConstructsShowTheTextureLit) {
    ExpectTextureLitAndLightAdded({"compile_expressions.fx", "varying_widths.fx", "array_cast.fx",
                                   "constructor_target.fx", "vertex_input_array.fx",
                                   "state_array_element.fx", "include_once.fx"},
                                  90);
}

// Shader assembly of each generation (vs_1_1/ps_1_1, ps_1_4 with its phase, 2_0, 3_0), beside
// HLSL or fixed-function stages, with constant registers from shader constant states and def.
TEST_F(CorpusTest, ShaderAssemblyShowsTheTextureLit) {
    ExpectTextureLitAndLightAdded({"asm_vs11_ps11.fx", "asm_ps14_phase.fx", "asm_ps20_def.fx",
                                   "asm_vs30_ps30.fx"},
                                  90);
    ExpectTextureLitAndLightAdded({"asm_ps_fixed_vertex.fx"}, 110);
}

TEST_F(CorpusTest, NamesThatAreNoStatesAreRejected) {
    for (const char* file : {"invalid/unknown_state.fx", "invalid/unknown_sampler_state.fx"}) {
        SCOPED_TRACE(file);
        ID3DXEffect* e = nullptr;
        std::string messages;
        std::string path = std::string(FX_CORPUS_DIR) + "/" + file;
        EXPECT_EQ(library_->CreateFromFile(path.c_str(), &e, messages), D3DXERR_INVALIDDATA);
        EXPECT_EQ(e, nullptr);
        EXPECT_NE(messages.find("no "), std::string::npos) << messages;
    }
}

}  // namespace
}  // namespace sdltest
