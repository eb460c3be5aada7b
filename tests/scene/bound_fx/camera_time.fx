// The camera and the clock by semantic: positions, the view direction, seconds and the 120 s
// cycles of effect tools; by name without a semantic too.
float4x4 Wvp : WORLDVIEWPROJECTION;
float3 Eye : CAMERAPOSITION;
float4 ViewPos : ViewPosition;
float3 Look : ViewDirection;
float Seconds : TIME;
float Cycle : Time0_X;
float2 Sine : SinTime0_X;
float g_fTime;
float4 g_vEyePt;
float3 xCamPos;

float4 VS(float4 p : POSITION) : POSITION { return mul(p, Wvp); }
float4 PS() : COLOR { return float4(Eye + ViewPos.xyz + Look, Seconds + Cycle + Sine.x + Sine.y) + g_fTime + g_vEyePt + float4(xCamPos, 0); }

technique Main { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
