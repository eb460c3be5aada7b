// Macros over the whole file: an include with parameters, macros as compile profiles,
// array sizes and initial values, function-like macros and conditionals.
#define VS_PROFILE vs_2_0
#define PS_PROFILE ps_2_0
#define TINT_INDEX 0
#define USE_TEXTURE 1
#include "include\lighting.fxh"
#include "include/lighting.fxh"

#define SAMPLE(s, uv) tex2D(s, uv)
#define TWO_PASSES(vs, ps) pass A { VertexShader = compile VS_PROFILE vs(); \
                                    PixelShader = compile PS_PROFILE ps(); CullMode = None; }

int TintIndex = TINT_INDEX;
float Gain = DEFAULT_AMBIENT * 0 + 1;

texture DiffuseTexture;
sampler DiffuseSampler = sampler_state { Texture = (DiffuseTexture); MinFilter = LINEAR; MagFilter = LINEAR; };

float4 LitPS(VertexOut i) : COLOR
{
#if USE_TEXTURE && defined(NUM_TINTS)
    float4 base = SAMPLE(DiffuseSampler, i.uv);
#else
    float4 base = 1;
#endif
    float light = LightAmbient + Lambert(i.normal, i.toLight);
    return float4(base.rgb * LightColor.rgb * light * Tints[TintIndex].rgb * Gain, base.a);
}

technique ald_Phong { TWO_PASSES(LitVS, LitPS) }
technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile VS_PROFILE LitVS();
        PixelShader = compile PS_PROFILE LitPS();
        AlphaBlendEnable = TRUE; SrcBlend = ONE; DestBlend = ONE; ZWriteEnable = FALSE;
        CullMode = None;
    }
}
