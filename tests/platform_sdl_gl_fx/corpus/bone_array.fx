// A palette of world matrices chosen by an index, as skinning effects keep their bones:
// SetMatrixArray fills it, one light in a one-element array, ps_2_0 with a texture on s0.
float4x4 ViewProj;
float4x4 Bones[2];
int BoneIndex = 0;
float3 LightDir[1] = { {0.0, 0.0, 1.0} };
float4 Tint = {1, 1, 1, 1};

sampler2D Diffuse : register(s0);

struct VS_OUT
{
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
    float4 colour : COLOR0;
};

VS_OUT SkinVS(float4 pos : POSITION, float3 n : NORMAL, float2 uv : TEXCOORD0)
{
    VS_OUT o;
    float4x4 world = Bones[BoneIndex];
    o.pos = mul(mul(pos, world), ViewProj);
    float3 wn = normalize(mul(n, (float3x3)world));
    o.colour = Tint * saturate(dot(wn, -LightDir[0]));
    o.uv = uv;
    return o;
}

float4 SkinPS(float2 uv : TEXCOORD0, float4 colour : COLOR0) : COLOR
{
    return tex2D(Diffuse, uv) * colour;
}

technique Skinned
{
    pass P0
    {
        VertexShader = compile vs_3_0 SkinVS();
        PixelShader = compile ps_2_0 SkinPS();
    }
}
