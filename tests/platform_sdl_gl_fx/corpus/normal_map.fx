// Normal mapping in tangent space with two textures: the normal map is declared first, so
// the compiler gives it s0 unless told; the base texture asks for s0 itself.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};
float LightAmbient = 0.2;
float BumpScale = 0;   // the normal map is not set by the engine: keep the vertex normal

texture NormalTex;
texture BaseTex;
sampler2D NormalSampler = sampler_state { Texture = <NormalTex>; MinFilter = Linear; MagFilter = Linear; };
sampler2D BaseSampler : register(s0) = sampler_state { Texture = <BaseTex>; MinFilter = Linear; MagFilter = Linear; };

struct A2V { float4 pos : POSITION; float3 normal : NORMAL; float2 uv : TEXCOORD0; };
struct V2P { float4 pos : POSITION; float2 uv : TEXCOORD0; float3 lightT : TEXCOORD1; };

V2P BumpVS(A2V IN)
{
    V2P OUT;
    OUT.pos = mul(IN.pos, mat_World_View_Proj);
    float3 n = normalize(mul(IN.normal, (float3x3)matWorld));
    float3 t = normalize(cross(n, float3(0, 1, 0.001)));
    float3 b = cross(n, t);
    float3x3 toTangent = float3x3(t, b, n);
    OUT.lightT = mul(toTangent, LightPos.xyz - mul(IN.pos, matWorld).xyz);
    OUT.uv = IN.uv;
    return OUT;
}

float4 BumpPS(V2P IN) : COLOR
{
    float3 bump = tex2D(NormalSampler, IN.uv).xyz * 2 - 1;
    float3 n = normalize(lerp(float3(0, 0, 1), bump, BumpScale));
    float d = saturate(dot(n, normalize(IN.lightT)));
    float4 base = tex2D(BaseSampler, IN.uv);
    return float4(base.rgb * LightColor.rgb * (LightAmbient + d), base.a);
}

technique ald_Phong
{
    pass P0 { VertexShader = compile vs_2_0 BumpVS(); PixelShader = compile ps_2_0 BumpPS(); CullMode = None; }
}
technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 BumpVS(); PixelShader = compile ps_2_0 BumpPS();
        AlphaBlendEnable = true; SrcBlend = One; DestBlend = One; CullMode = None;
    }
}
