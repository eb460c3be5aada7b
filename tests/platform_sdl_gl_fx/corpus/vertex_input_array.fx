// Vertex inputs no vertex format feeds: an array over six registers and more semantics than
// spare attribute slots. They read (0, 0, 0, 1), so w scales the position by one.
float4x4 mat_World_View_Proj;
sampler DiffuseSampler : register(s0);

void UnfedVS(float4 pos : POSITION, float2 tex : TEXCOORD0, float4 weights[6] : BLENDWEIGHT1,
             float4 a : TANGENT, float4 b : BINORMAL, float4 c : BLENDINDICES,
             float4 d : DEPTH, out float4 oPos : POSITION, out float2 oTex : TEXCOORD0)
{
    float w = weights[5].w * (a.w + b.w + c.w + d.w) / 4;
    oPos = mul(pos, mat_World_View_Proj) * w;
    oTex = tex;
}

float4 PlainPS(float2 tex : TEXCOORD0) : COLOR
{
    return tex2D(DiffuseSampler, tex);
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 UnfedVS();
        PixelShader = compile ps_2_0 PlainPS();
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 UnfedVS();
        PixelShader = compile ps_2_0 PlainPS();
        CullMode = None; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One;
    }
}
