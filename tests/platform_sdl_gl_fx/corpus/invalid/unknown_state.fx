// Not an effect: "AlphaBlendEnabled" names no state, so the effect does not load.
float4x4 mat_World_View_Proj;
float4 VS(float4 p : POSITION) : POSITION { return mul(p, mat_World_View_Proj); }
float4 PS() : COLOR { return 1; }
technique ald_Phong
{
    pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); AlphaBlendEnabled = TRUE; }
}
