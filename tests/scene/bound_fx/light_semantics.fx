// Lights named by their semantics alone, numbered or not; light 3 is not in the level and
// keeps its initial value. A tweakable without a semantic named for the light's position, and
// an array named for lights' colours, light k in element k, a position named for view space,
// and the light named by its part as tutorials name it.
float4x4 Wvp : WORLDVIEWPROJECTION;
float4 LightPosition : LIGHTPOSITION;
float3 LightDir0 : LightDirection0;
float4 Colour1 : LIGHTCOLOR1;
float4 Light1Pos : Light1Position;
float4 Colour3 : LIGHTCOLOR3 = {5, 5, 5, 5};
float4 fvLightPosition = {3, 3, 3, 3};
float4 g_LightDiffuse[2];
float3 g_vLightPosView;
float3 DiffuseLightDirection;
float4 AmbientLightColor;

float4 VS(float4 p : POSITION) : POSITION { return mul(p, Wvp); }
float4 PS() : COLOR { return LightPosition + float4(LightDir0, 0) + Colour1 + Light1Pos + Colour3 + fvLightPosition + g_LightDiffuse[0] + g_LightDiffuse[1] + float4(g_vLightPosView + DiffuseLightDirection, 0) + AmbientLightColor; }

technique Main { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
