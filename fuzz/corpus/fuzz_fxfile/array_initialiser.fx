// Rejected: four lights declared, three positions given.
#define NUM_LIGHTS 4
float4x4 mat_World_View_Proj;
float4 LightPositions[NUM_LIGHTS] = { {0, 0, -5, 1}, {5, 0, 0, 1}, {-5, 0, 0, 1} };

float4 MainVS(float4 pos : POSITION) : POSITION
{
    return mul(pos, mat_World_View_Proj) + LightPositions[0] * 0.0;
}

float4 MainPS() : COLOR
{
    return 1;
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 MainVS();
        PixelShader = compile ps_2_0 MainPS();
    }
}
