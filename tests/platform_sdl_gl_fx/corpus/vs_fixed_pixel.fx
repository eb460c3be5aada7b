// A vertex shader lighting each vertex, with the fixed-function pixel stage modulating the
// texture by the lit colour, and an alpha test that keeps every opaque pixel. The further
// light adds in a second pass of the same kind.
float4x4 mat_World_View_Proj : WORLDVIEWPROJECTION;
float4x4 matWorld : WORLD;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};
float LightAmbient = 0.2;

struct VS_OUTPUT
{
    float4 Position : POSITION;
    float4 Diffuse  : COLOR0;
    float2 Tex      : TEXCOORD0;
};

VS_OUTPUT LightVS(float4 Pos : POSITION, float3 Normal : NORMAL, float2 Tex : TEXCOORD0,
                  uniform float ambient)
{
    VS_OUTPUT Out = (VS_OUTPUT)0;
    Out.Position = mul(Pos, mat_World_View_Proj);
    float3 wp = mul(Pos, matWorld).xyz;
    float3 n = normalize(mul(Normal, (float3x3)matWorld));
    float3 l = normalize(LightPos.xyz - wp);
    Out.Diffuse = float4(LightColor.rgb * (ambient + saturate(dot(n, l))), 1);
    Out.Tex = Tex;
    return Out;
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_1_1 LightVS(0.2);
        PixelShader = NULL;
        ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = Diffuse;
        AlphaOp[0] = SelectArg2; AlphaArg2[0] = Diffuse;
        AlphaTestEnable = TRUE; AlphaFunc = Greater; AlphaRef = 0x80;
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_1_1 LightVS(0.0);
        CullMode = None; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One;
    }
}
