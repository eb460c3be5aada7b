// ps_3_0 with static const tables, loops with attributes, clip(), out parameters and the
// alpha test in the pass.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};
float LightAmbient = 0.1;

sampler2D ColorMap : register(s0);

static const int kTaps = 4;
static const float2 kOffsets[kTaps] = { {0.001, 0}, {-0.001, 0}, {0, 0.001}, {0, -0.001} };
static const float kWeights[4] = {0.25, 0.25, 0.25, 0.25};

void MainVS(float4 pos : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0,
            out float4 oPos : POSITION, out float2 oUv : TEXCOORD0, out float3 oN : TEXCOORD1,
            out float3 oL : TEXCOORD2)
{
    oPos = mul(pos, mat_World_View_Proj);
    oN = mul(normal, (float3x3)matWorld);
    oL = LightPos.xyz - mul(pos, matWorld).xyz;
    oUv = uv;
}

void Blur(in float2 uv, out float4 colour)
{
    colour = 0;
    [unroll] for (int i = 0; i < kTaps; i++)
        colour += tex2D(ColorMap, uv + kOffsets[i]) * kWeights[i];
}

float4 MainPS(float2 uv : TEXCOORD0, float3 n : TEXCOORD1, float3 l : TEXCOORD2) : COLOR
{
    float4 c;
    Blur(uv, c);
    clip(c.a - 0.01);
    float d = 0;
    [loop] for (int k = 0; k < 2; k++) d += 0.5 * saturate(dot(normalize(n), normalize(l)));
    [branch] if (d < 0) d = 0;
    return float4(c.rgb * LightColor.rgb * (LightAmbient + d), c.a);
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_3_0 MainVS();
        PixelShader = compile ps_3_0 MainPS();
        AlphaTestEnable = TRUE; AlphaFunc = GreaterEqual; AlphaRef = 0x10;
        CullMode = None;
    }
}
technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_3_0 MainVS();
        PixelShader = compile ps_3_0 MainPS();
        AlphaTestEnable = TRUE; AlphaFunc = GreaterEqual; AlphaRef = 0x10;
        AlphaBlendEnable = TRUE; SrcBlend = ONE; DestBlend = ONE; ZWriteEnable = FALSE;
        CullMode = None;
    }
}
