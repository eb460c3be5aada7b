// Rim light: a glow along the silhouette in the light's colour, added on top of whatever the
// object was drawn with before. Both techniques add, so it can follow any other effect.

float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 View_Pos;
float4 LightPos;
float4 LightColor = {1.0, 1.0, 1.0, 1.0};
float LightFalloff = 1000.0;
float Attenuation = 0.8;

struct VertexIn {
    float4 position : POSITION;
    float3 normal : NORMAL;
};

struct VertexOut {
    float4 position : POSITION;
    float3 worldPos : TEXCOORD0;
    float3 normal : TEXCOORD1;
};

VertexOut RimVS(VertexIn input)
{
    VertexOut output;
    output.position = mul(input.position, mat_World_View_Proj);
    output.worldPos = mul(input.position, matWorld).xyz;
    output.normal = mul(input.normal, (float3x3)matWorld);
    return output;
}

float4 RimPS(VertexOut input) : COLOR
{
    float3 n = normalize(input.normal);
    float3 v = normalize(View_Pos.xyz - input.worldPos);
    float rim = pow(1.0 - saturate(dot(n, v)), 3.0);
    float distance = length(LightPos.xyz - input.worldPos);
    float strength = lerp(1.0, saturate(1.0 - distance / LightFalloff), Attenuation);
    return float4(LightColor.rgb * (0.6 * rim * strength), 1.0);
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 RimVS();
        PixelShader = compile ps_2_0 RimPS();
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 RimVS();
        PixelShader = compile ps_2_0 RimPS();
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
    }
}
