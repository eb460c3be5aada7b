// Shared declarations; the including file picks the profiles.
#ifndef LIGHTING_FXH
#define LIGHTING_FXH

#define DECLARE_MATRIX(name, sem) float4x4 name : sem
#define NUM_TINTS 3
#define DEFAULT_AMBIENT 0.15

DECLARE_MATRIX(mat_World_View_Proj, WORLDVIEWPROJECTION);
DECLARE_MATRIX(matWorld, WORLD);
float4 LightPos = {0, 0, -10, 1};
float4 LightColor = {1, 1, 1, 1};
float LightAmbient = DEFAULT_AMBIENT;
float4 Tints[NUM_TINTS] = { {1, 1, 1, 1}, {0.5, 0.5, 0.5, 1}, {0.25, 0.25, 0.25, 1} };

struct VertexIn { float4 pos : POSITION; float3 normal : NORMAL; float2 uv : TEXCOORD0; };
struct VertexOut { float4 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : TEXCOORD1;
                   float3 toLight : TEXCOORD2; };

VertexOut LitVS(VertexIn v)
{
    VertexOut o;
    o.pos = mul(v.pos, mat_World_View_Proj);
    o.normal = mul(v.normal, (float3x3)matWorld);
    o.toLight = LightPos.xyz - mul(v.pos, matWorld).xyz;
    o.uv = v.uv;
    return o;
}

float Lambert(float3 n, float3 l) { return saturate(dot(normalize(n), normalize(l))); }

#endif
