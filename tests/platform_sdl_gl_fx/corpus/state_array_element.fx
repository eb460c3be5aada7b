// States reading one element of an array parameter: the light's colour is the second of two.
float4 LightPos;
float4 LightColors[2] = {0, 0, 0, 1, 1, 1, 1, 1};

technique ald_Phong
{
    pass P0
    {
        VertexShader = NULL;
        PixelShader = NULL;
        Lighting = TRUE;
        LightEnable[0] = TRUE; LightType[0] = Point; LightPosition[0] = <LightPos>;
        LightDiffuse[0] = <LightColors[1]>; LightRange[0] = 1000; LightAttenuation0[0] = 1;
        MaterialDiffuse = {1, 1, 1, 1}; MaterialAmbient = {0, 0, 0, 0};
        ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = Current;
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        Lighting = TRUE;
        LightEnable[0] = TRUE; LightType[0] = Point; LightPosition[0] = <LightPos>;
        LightDiffuse[0] = (LightColors[1]); LightRange[0] = 1000; LightAttenuation0[0] = 1;
        MaterialDiffuse = {1, 1, 1, 1}; MaterialAmbient = {0, 0, 0, 0};
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One; ZWriteEnable = FALSE;
        CullMode = None;
    }
}
