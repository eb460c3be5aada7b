// Not an effect: "Filter" is no sampler state of Direct3D 9.
texture T;
sampler2D S = sampler_state { Texture = <T>; Filter = MIN_MAG_MIP_LINEAR; };
float4 VS(float4 p : POSITION) : POSITION { return p; }
float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(S, uv); }
technique ald_Phong { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
