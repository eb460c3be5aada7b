// Vertex outputs and pixel inputs of different widths on one semantic register: a float4
// output read as float2, a float2 output read as float4 (whose unwritten z and w read 0),
// a float2 array over two registers, and an input the vertex shader does not write (0).
float4x4 mat_World_View_Proj;
sampler DiffuseSampler : register(s0);

void WideVS(float4 pos : POSITION, float2 tex : TEXCOORD0, out float4 oPos : POSITION,
            out float4 oWide : TEXCOORD0, out float2 oNarrow : TEXCOORD1,
            out float2 oPair[2] : TEXCOORD2)
{
    oPos = mul(pos, mat_World_View_Proj);
    oWide = float4(tex, 0.5, 0.5);
    oNarrow = tex;
    oPair[0] = tex;
    oPair[1] = float2(0, 0);
}

float4 NarrowPS(float2 wide : TEXCOORD0, float4 narrow : TEXCOORD1,
                float2 pair[2] : TEXCOORD2, float4 absent : TEXCOORD5) : COLOR
{
    float4 c = tex2D(DiffuseSampler, (wide + narrow.xy + pair[0]) / 3 + pair[1]);
    return c + float4(absent.x, narrow.zw, 0) + absent;
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 WideVS();
        PixelShader = compile ps_2_0 NarrowPS();
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 WideVS();
        PixelShader = compile ps_2_0 NarrowPS();
        CullMode = None; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One;
    }
}
