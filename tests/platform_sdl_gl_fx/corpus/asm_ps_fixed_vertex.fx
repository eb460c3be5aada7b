// Assembly pixel shaders over fixed-function vertex processing: the device transforms the
// vertices and hands the shader texture coordinate set 0; the light's colour comes in through
// a constant register.
float4 LightColor : DIFFUSE = {1, 1, 1, 1};

technique ald_Phong
{
    pass P0
    {
        VertexShader = NULL;
        PixelShaderConstant[0] = <LightColor>;
        PixelShader = asm { ps_1_3 tex t0 mul r0, t0, c0 };
        ZEnable = TRUE; ZWriteEnable = TRUE; CullMode = NONE; AlphaBlendEnable = FALSE;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        PixelShaderConstant[0] = <LightColor>;
        PixelShader = asm
        {
            ps_2_0
            dcl t0.xy
            dcl_2d s0
            texld r0, t0, s0
            mul r0, r0, c0
            mov oC0, r0
        };
        ZWriteEnable = FALSE; CullMode = NONE;
        AlphaBlendEnable = TRUE; SrcBlend = ONE; DestBlend = ONE;
    }
}
