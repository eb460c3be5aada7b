// No shaders at all: the effect sets up a device light and the material, stage 0 modulates
// the texture by the lit colour, and the texture coordinates come through TexCoordIndex and
// an identity texture transform. The further light adds with blending.
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};
float4x4 TexMatrix = {1, 0, 0, 0,  0, 1, 0, 0,  0, 0, 1, 0,  0, 0, 0, 1};

technique ald_Phong
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;
        Lighting = TRUE;
        LightEnable[0] = TRUE;
        LightType[0] = Point;
        LightPosition[0] = <LightPos>;
        LightDiffuse[0] = <LightColor>;
        LightAmbient[0] = {0.2, 0.2, 0.2, 1};
        LightRange[0] = 1000;
        LightAttenuation0[0] = 1;
        MaterialDiffuse = {1, 1, 1, 1};
        MaterialAmbient = {1, 1, 1, 1};
        Ambient = 0;
        TexCoordIndex[0] = 0;
        TextureTransformFlags[0] = Count2;
        TextureTransform[0] = <TexMatrix>;
        ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = Current;
        ColorOp[1] = Disable;
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        Lighting = TRUE;
        LightEnable[0] = TRUE; LightType[0] = Point; LightPosition[0] = <LightPos>;
        LightDiffuse[0] = <LightColor>; LightRange[0] = 1000; LightAttenuation0[0] = 1;
        MaterialDiffuse = {1, 1, 1, 1}; MaterialAmbient = {0, 0, 0, 0};
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One; ZWriteEnable = FALSE;
        CullMode = None;
    }
}
