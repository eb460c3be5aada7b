// The demo's per-pixel Phong effect, and the same lighting for three lights in one pass, as
// many as the demo has. "ald_Phong" and "ald_Phong_alpha" draw one light at a time, as in the
// demo. "ald_Phong_lights" (its annotation Lights says how many it takes) draws the first three
// lights of an object in one pass and "ald_Phong_lights_alpha" adds each further three; the
// engine fills the arrays below for each batch and prefers these techniques when an effect
// has them.

float4x4 mat_World_View_Proj;   // world x view x projection
float4x4 matWorld;              // world only: positions and normals in world space
float4 View_Pos;                // camera position, w = 1

float4 LightPos;                // w = 1 when the level gives a position
float4 LightColor = {1.0, 1.0, 1.0, 1.0};
float LightFalloff = 1000.0;        // distance at which the light has faded out
float LightSpecular = 8.5;          // specular exponent
float LightSpecular_Itens = 0.19;   // specular strength
float LightAmbient = 0.005;         // ambient share of this light
float Attenuation = 0.8;            // how much of the fading applies, 0 none .. 1 all

sampler2D DiffuseSampler : register(s0);

struct VertexIn {
    float4 position : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
};

struct VertexOut {
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float3 worldPos : TEXCOORD1;
    float3 normal : TEXCOORD2;
};

VertexOut PhongVS(VertexIn input)
{
    VertexOut output;
    output.position = mul(input.position, mat_World_View_Proj);
    output.worldPos = mul(input.position, matWorld).xyz;
    output.normal = mul(input.normal, (float3x3)matWorld);
    output.uv = input.uv;
    return output;
}

float4 PhongPS(VertexOut input) : COLOR
{
    float3 n = normalize(input.normal);
    float3 toLight = LightPos.xyz - input.worldPos;
    float distance = length(toLight);
    float3 l = toLight / max(distance, 0.0001);
    float3 v = normalize(View_Pos.xyz - input.worldPos);

    float fade = saturate(1.0 - distance / LightFalloff);
    float strength = lerp(1.0, fade, Attenuation);

    float diffuse = saturate(dot(n, l));
    float3 r = reflect(-l, n);
    float specular = (diffuse > 0.0) ? pow(saturate(dot(r, v)), LightSpecular) : 0.0;

    float4 texel = tex2D(DiffuseSampler, input.uv);
    float3 colour = texel.rgb * LightColor.rgb * (LightAmbient + diffuse * strength)
                  + LightColor.rgb * (specular * LightSpecular_Itens * strength);
    return float4(colour, texel.a);
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 PhongVS();
        PixelShader = compile ps_2_0 PhongPS();
        ZEnable = true;
        ZWriteEnable = true;
        ZFunc = LessEqual;
        CullMode = None;
        AlphaBlendEnable = false;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 PhongVS();
        PixelShader = compile ps_2_0 PhongPS();
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
    }
}

// One batch of lights; elements past LightCount are zero, so that they add nothing.
#define BATCH 3
float4 LightPositions[BATCH];
float4 LightColors[BATCH];
float LightFalloffs[BATCH];
float LightSpeculars[BATCH];
float LightSpecularIntensities[BATCH];
float LightAmbients[BATCH];
float LightAttenuations[BATCH];
int LightCount = 0;

float4 PhongLightsPS(VertexOut input) : COLOR
{
    float3 n = normalize(input.normal);
    float3 v = normalize(View_Pos.xyz - input.worldPos);
    float4 texel = tex2D(DiffuseSampler, input.uv);
    float3 colour = 0;
    // Unrolled: constant indices cost the rasteriser far less than a loop over LightCount.
    [unroll] for (int i = 0; i < BATCH; ++i) {
        float3 toLight = LightPositions[i].xyz - input.worldPos;
        float distance = length(toLight);
        float3 l = toLight / max(distance, 0.0001);
        float fade = saturate(1.0 - distance / LightFalloffs[i]);
        float strength = lerp(1.0, fade, LightAttenuations[i]);
        float diffuse = saturate(dot(n, l));
        float3 r = reflect(-l, n);
        float specular = (diffuse > 0.0) ? pow(saturate(dot(r, v)), LightSpeculars[i]) : 0.0;
        // Each light clamped on its own, as the passes of one light each are.
        colour += saturate(texel.rgb * LightColors[i].rgb * (LightAmbients[i] + diffuse * strength)
                           + LightColors[i].rgb * (specular * LightSpecularIntensities[i] * strength));
    }
    return float4(colour, texel.a);
}

technique ald_Phong_lights < int Lights = BATCH; >
{
    pass P0
    {
        VertexShader = compile vs_3_0 PhongVS();
        PixelShader = compile ps_3_0 PhongLightsPS();
        ZEnable = true;
        ZWriteEnable = true;
        ZFunc = LessEqual;
        CullMode = None;
        AlphaBlendEnable = false;
    }
}

technique ald_Phong_lights_alpha
{
    pass P0
    {
        VertexShader = compile vs_3_0 PhongVS();
        PixelShader = compile ps_3_0 PhongLightsPS();
        ZEnable = true;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        CullMode = None;
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
    }
}
