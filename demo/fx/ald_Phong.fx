// Per-pixel Phong lighting for one light at a time. The engine draws every object once per
// light: "ald_Phong" for the first light writes the colour, "ald_Phong_alpha" adds each
// further light on top. The texture comes from stage 0, which the engine sets per subset.

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
