// The material of the subset drawn, by semantic or by name; set before each subset.
float4x4 Wvp : WORLDVIEWPROJECTION;
float4 Diffuse : MATERIALDIFFUSE;
float4 Ambient : MaterialAmbient;
float3 Specular : MATERIALSPECULAR;
float4 Emissive : MATERIALEMISSIVE;
float Power : MATERIALPOWER;
float4 g_MaterialDiffuseColor;

float4 VS(float4 p : POSITION) : POSITION { return mul(p, Wvp); }
float4 PS() : COLOR { return Diffuse + Ambient + float4(Specular, 1) + Emissive + Power + g_MaterialDiffuseColor; }

technique Main { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
