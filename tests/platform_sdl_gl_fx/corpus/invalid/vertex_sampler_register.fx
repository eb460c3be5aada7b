// Rejected: vertex shaders have the sampler registers s0..s3 only.
float4x4 mat_World_View_Proj;
sampler2D HeightMap : register(s5);

float4 MainVS(float4 pos : POSITION, float2 uv : TEXCOORD0) : POSITION
{
    float h = tex2Dlod(HeightMap, float4(uv, 0, 0)).r;
    return mul(pos + float4(0, h, 0, 0), mat_World_View_Proj);
}

float4 MainPS() : COLOR
{
    return 1;
}

technique T
{
    pass P0
    {
        VertexShader = compile vs_3_0 MainVS();
        PixelShader = compile ps_3_0 MainPS();
    }
}
