// Rejected: the pass compiles a pixel shader function that the file does not define.
float4x4 mat_World_View_Proj;

float4 MainVS(float4 pos : POSITION) : POSITION
{
    return mul(pos, mat_World_View_Proj);
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 MainVS();
        PixelShader = compile ps_2_0 MainPixelShader();
    }
}
