// Pixel shaders over fixed-function vertex processing: the device transforms the vertices and
// hands the shader its texture coordinates; the light's colour comes in as a constant. The
// further light's pass is a ps_1_1 shader blended on top.
float4 LightColor : DIFFUSE = {1, 1, 1, 1};
float LightAmbient = 0.2;

texture BaseTex;
sampler BaseSampler : register(s0) = sampler_state
{
    Texture = <BaseTex>;
    MinFilter = Linear; MagFilter = Linear; MipFilter = Linear;
};

float4 LitPS(float2 uv : TEXCOORD0) : COLOR0
{
    return tex2D(BaseSampler, uv) * LightColor * (LightAmbient + 0.8);
}

float4 AddPS(float2 uv : TEXCOORD0) : COLOR0
{
    return tex2D(BaseSampler, uv) * LightColor;
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = compile ps_2_0 LitPS();
        ZEnable = TRUE; ZWriteEnable = TRUE; CullMode = NONE; AlphaBlendEnable = FALSE;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        PixelShader = compile ps_1_1 AddPS();
        ZWriteEnable = FALSE; CullMode = NONE;
        AlphaBlendEnable = TRUE; SrcBlend = ONE; DestBlend = ONE;
    }
}
