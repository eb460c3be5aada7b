// Environment mapping with a cube map nobody sets and a projected texture: Direct3D 9 reads
// (0, 0, 0, 1) from a stage with no texture, so the lit base texture shows unchanged.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 View_Pos;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};

textureCUBE EnvironmentMap;
samplerCUBE EnvironmentSampler = sampler_state
{
    Texture = <EnvironmentMap>;
    MinFilter = Linear; MagFilter = Linear; MipFilter = Linear;
    AddressU = Clamp; AddressV = Clamp; AddressW = Clamp;
};
texture SpotTex;
sampler2D SpotSampler : register(s2) = sampler_state { Texture = <SpotTex>; AddressU = Border; AddressV = Border; };
sampler2D BaseSampler : register(s0);

void EnvVS(float4 pos : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0,
           out float4 oPos : POSITION, out float2 oUv : TEXCOORD0, out float3 oReflect : TEXCOORD1,
           out float oLight : TEXCOORD2, out float4 oProj : TEXCOORD3)
{
    oPos = mul(pos, mat_World_View_Proj);
    float3 wp = mul(pos, matWorld).xyz;
    float3 n = normalize(mul(normal, (float3x3)matWorld));
    oReflect = reflect(normalize(wp - View_Pos.xyz), n);
    oLight = saturate(dot(n, normalize(LightPos.xyz - wp)));
    oUv = uv;
    oProj = oPos;
}

float4 EnvPS(float2 uv : TEXCOORD0, float3 r : TEXCOORD1, float light : TEXCOORD2,
             float4 proj : TEXCOORD3) : COLOR
{
    float4 base = tex2D(BaseSampler, uv) * LightColor * (0.2 + light);
    float4 env = texCUBE(EnvironmentSampler, r);
    float4 spot = tex2Dproj(SpotSampler, proj);
    return float4(base.rgb + env.rgb * 0.5 + spot.rgb, 1);
}

technique ald_Phong
{
    pass P0 { VertexShader = compile vs_2_0 EnvVS(); PixelShader = compile ps_2_0 EnvPS(); CullMode = None; }
}
technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 EnvVS(); PixelShader = compile ps_2_0 EnvPS();
        AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One; ZWriteEnable = FALSE; CullMode = None;
    }
}
