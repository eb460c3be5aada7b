// Shaders from an included library, compiled with expressions for their uniform parameters:
// global parameters (whose values the program sets after loading), static data of the
// library, arithmetic and a constructor.
float4x4 mat_World_View_Proj;
float4 LightColor;
#include "include/library.fxh"

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 LibraryVS(mat_World_View_Proj);
        PixelShader = compile ps_2_0 LibraryPS(2 * kHalf * kGains[0], LightColor,
                                               float4(1.0f, 1.0f, 1.0f, 1.0f));
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 LibraryVS(mat_World_View_Proj);
        PixelShader = compile ps_2_0 LibraryPS(kGains[0], LightColor, (float4)1);
        CullMode = None; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One;
    }
}
