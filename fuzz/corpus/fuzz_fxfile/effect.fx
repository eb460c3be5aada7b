// lighting effect
#define SCALE 2
float4x4 mat_World_View_Proj : WORLDVIEWPROJECTION;
row_major float4x4 matWorld;
float4 LightColor < string UIName = "Light colour"; float UIMax = 1.0; > = {1, 0.5, 0, 1};
float LightFalloff = -2.5f, Attenuation = 1;
static const float PI = 3.14159;
bool Enabled = true;
float3 Lights[4];
string Author = "someone";
texture DiffuseMap < string ResourceName = "wood.bmp"; >;
sampler DiffuseSampler = sampler_state
{
    Texture = <DiffuseMap>;
    MinFilter = Linear; MagFilter = Linear;
    AddressU = Wrap;
};
struct VS_OUT { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VS_OUT VS(float4 p : POSITION, float2 uv : TEXCOORD0, uniform int mode)
{
    VS_OUT o; o.pos = mul(p, mat_World_View_Proj); o.uv = uv * (mode > 1 ? 2 : 1); return o;
}
float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(DiffuseSampler, uv) * LightColor; }
/* technique Hidden { pass { } } */
technique ald_Phong < string Note = "first light"; >
{
    pass P0
    {
        VertexShader = compile vs_2_0 VS(2);
        PixelShader  = compile ps_2_0 PS();
        ZWriteEnable = TRUE;
        ColorWriteEnable = RED | GREEN;
        Texture[0] = <DiffuseMap>;
    }
}
technique ald_Phong_alpha { pass { AlphaBlendEnable = true; SrcBlend = One; DestBlend = One; } pass P1 { } }
