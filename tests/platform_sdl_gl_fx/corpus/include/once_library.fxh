// A shader library that says it is included once, defining entry points that the effect
// including it declares first.
#pragma once

sampler OnceSampler : register(s0);

OnceOut OnceVS(float4 pos : POSITION, float2 tex : TEXCOORD0)
{
    OnceOut o;
    o.Position = mul(pos, mat_World_View_Proj);
    o.Tex = tex;
    return o;
}

float4 OncePS(float2 tex : TEXCOORD0) : COLOR
{
    return tex2D(OnceSampler, tex) * LightColor;
}
