// Shaders compiled once into variables and picked by the passes: a vertex shader variable,
// an array of pixel shaders indexed by an int parameter, both written with ( ) and < >.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};
int Quality = 1;   // 0: half bright preview, 1: full

sampler2D Diffuse : register(s0) = sampler_state { MinFilter = Point; MagFilter = Point; };

struct Interp { float4 pos : POSITION; float2 uv : TEXCOORD0; float3 n : TEXCOORD1; float3 l : TEXCOORD2; };

Interp TransformVS(float4 pos : POSITION, float3 n : NORMAL, float2 uv : TEXCOORD0)
{
    Interp o;
    o.pos = mul(pos, mat_World_View_Proj);
    o.n = mul(n, (float3x3)matWorld);
    o.l = LightPos.xyz - mul(pos, matWorld).xyz;
    o.uv = uv;
    return o;
}

float4 ShadePS(Interp i, uniform float gain) : COLOR
{
    float d = 0.1 + saturate(dot(normalize(i.n), normalize(i.l)));
    float4 t = tex2D(Diffuse, i.uv);
    return float4(t.rgb * LightColor.rgb * d * gain, t.a);
}

VertexShader LitVS = compile vs_2_0 TransformVS();
PixelShader ShadePSs[2] = { compile ps_2_0 ShadePS(0.5), compile ps_2_0 ShadePS(1.0) };

technique ald_Phong
{
    pass P0 { VertexShader = (LitVS); PixelShader = (ShadePSs[Quality]); CullMode = None; }
}
technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = <LitVS>;
        PixelShader = (ShadePSs[1]);
        AlphaBlendEnable = true; SrcBlend = One; DestBlend = One; CullMode = None;
    }
}
