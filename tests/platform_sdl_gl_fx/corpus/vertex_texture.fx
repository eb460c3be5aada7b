// vs_3_0 vertex texture fetch: each vertex takes its tint from a colour ramp read with
// tex2Dlod; the pixel shader multiplies in a detail map kept at a high sampler register.
float4x4 mat_World_View_Proj : WORLDVIEWPROJECTION;

texture RampTex;
sampler2D RampSampler = sampler_state
{
    Texture = <RampTex>;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
};
sampler2D BaseMap : register(s0);
sampler2D DetailMap : register(s9);

struct VS_OUT
{
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
    float4 tint : COLOR0;
};

VS_OUT MainVS(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
    VS_OUT o;
    o.pos = mul(pos, mat_World_View_Proj);
    o.uv = uv;
    o.tint = tex2Dlod(RampSampler, float4(0.5, 0.5, 0, 0));
    return o;
}

float4 MainPS(float2 uv : TEXCOORD0, float4 tint : COLOR0) : COLOR
{
    return tex2D(BaseMap, uv) * tex2D(DetailMap, uv) * tint;
}

technique VertexTexture
{
    pass P0
    {
        VertexShader = compile vs_3_0 MainVS();
        PixelShader = compile ps_3_0 MainPS();
    }
}
