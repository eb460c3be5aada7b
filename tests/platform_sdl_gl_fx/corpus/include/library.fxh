// A shader library: entry points and constant data kept apart from the techniques using them.
static const float kHalf = 0.5;
static const float kGains[2] = { 1.0, 0.25 };

sampler DiffuseSampler : register(s0);

struct LibraryOut
{
    float4 Position : POSITION;
    float2 Tex      : TEXCOORD0;
};

LibraryOut LibraryVS(float4 pos : POSITION, float2 tex : TEXCOORD0, uniform float4x4 wvp)
{
    LibraryOut o;
    o.Position = mul(pos, wvp);
    o.Tex = tex;
    return o;
}

float4 LibraryPS(float2 tex : TEXCOORD0, uniform float gain, uniform float4 tint,
                 uniform float4 mask) : COLOR
{
    return tex2D(DiffuseSampler, tex) * tint * mask * gain;
}
