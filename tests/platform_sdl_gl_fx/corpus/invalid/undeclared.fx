// Rejected: the pixel shader reads a light colour that is never declared.
float4x4 mat_World_View_Proj;
float4 LightPos;
sampler2D ColorMap : register(s0);

float4 MainVS(float4 pos : POSITION, inout float2 uv : TEXCOORD0) : POSITION
{
    return mul(pos, mat_World_View_Proj);
}

float4 MainPS(float2 uv : TEXCOORD0) : COLOR
{
    return tex2D(ColorMap, uv) * LightColour;
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 MainVS();
        PixelShader = compile ps_2_0 MainPS();
    }
}
