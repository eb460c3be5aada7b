// A constructor as the target of an assignment: its variables take the value's components
// in turn. The pass also gives a texture transform as one number.
float4x4 mat_World_View_Proj;
sampler DiffuseSampler : register(s0);

void PlainVS(float4 pos : POSITION, float2 tex : TEXCOORD0, out float4 oPos : POSITION,
             out float2 oTex : TEXCOORD0)
{
    oPos = mul(pos, mat_World_View_Proj);
    oTex = tex;
}

float4 SplitPS(float2 tex : TEXCOORD0) : COLOR
{
    float2 uv, zero;
    float4( uv, zero ) =
        float4(tex, 0, 0);
    return tex2D(DiffuseSampler, uv) + zero.xyxy;
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 PlainVS();
        PixelShader = compile ps_2_0 SplitPS();
        TextureTransform[0] = 0;
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 PlainVS();
        PixelShader = compile ps_2_0 SplitPS();
        CullMode = None; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One;
    }
}
