// Vectors cast to arrays, as skinning code takes weights and indices apart, and an array of
// vectors initialised from one flat list.
float4x4 mat_World_View_Proj;
sampler DiffuseSampler : register(s0);

void CastVS(float4 pos : POSITION, float2 tex : TEXCOORD0, out float4 oPos : POSITION,
            out float2 oTex : TEXCOORD0)
{
    float parts[3] = (float[3])float4(1, 0, 0, 0.5);
    int picks[4] = (int[ 4 ]) D3DCOLORtoUBYTE4(float4(0, 0, 0, 0));
    float halves[2] = (float[2])pos.xy;
    oPos = mul(float4(halves[0], halves[1], pos.zw), mat_World_View_Proj) * parts[picks[1]];
    oTex = tex;
}

float4 PlainPS(float2 tex : TEXCOORD0) : COLOR
{
    float4 scales[2] = { 0, 0, 0, 0,
                         1, 1, 1, 1 };
    return tex2D(DiffuseSampler, tex) * scales[1] + scales[0];
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 CastVS();
        PixelShader = compile ps_2_0 PlainPS();
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 CastVS();
        PixelShader = compile ps_2_0 PlainPS();
        CullMode = None; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One;
    }
}
