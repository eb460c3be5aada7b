// Entry points declared here and defined only in a library that is included twice and says
// `#pragma once`.
float4x4 mat_World_View_Proj;
float4 LightColor;

struct OnceOut
{
    float4 Position : POSITION;
    float2 Tex      : TEXCOORD0;
};
OnceOut OnceVS(float4 pos : POSITION, float2 tex : TEXCOORD0);
float4 OncePS(float2 tex : TEXCOORD0) : COLOR;

#include "include/once_library.fxh"
#include "include/once_library.fxh"

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 OnceVS();
        PixelShader = compile ps_2_0 OncePS();
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 OnceVS();
        PixelShader = compile ps_2_0 OncePS();
        CullMode = None; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One;
    }
}
