// Lights named by annotation, as effect editors bind them: the light's position, colour and
// direction in world space, the second light's position, and a position in view space; the
// camera and the geometry drawn by annotation too, and no other object.
float4x4 Wvp : WORLDVIEWPROJECTION;
float3 LampPos : Position < string Object = "PointLight0"; string Space = "World"; > = {1, 2, 3};
float3 LampColor : Specular < string Object = "Pointlight0"; string UIWidget = "Color"; > = {0, 0, 0};
float3 SunDir : DIRECTION < string Object = "DirectionalLight0"; string Space = "World"; >;
float4 SecondPos : POSITION < string Object = "PointLight1"; > = {7, 7, 7, 7};
float3 LampView : POSITION < string Object = "PointLight0"; string Space = "View"; >;
float4 Unbound : POSITION < string Object = "Mirror"; > = {9, 9, 9, 9};
float3 CameraPos : POSITION < string Object = "Camera"; >;
float4 GeometryDiffuse : DIFFUSE < string Object = "Geometry"; >;

float4 VS(float4 p : POSITION) : POSITION { return mul(p, Wvp); }
float4 PS() : COLOR { return float4(LampPos + LampColor + SunDir + SecondPos.xyz + LampView + Unbound.xyz + CameraPos, 1) + GeometryDiffuse; }

technique Main { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
