// An effect written the way effect editors write them: nothing in it is named for this engine.
// Its matrices, light and texture are found by their semantics and annotations.
float4x4 WorldViewProj : WORLDVIEWPROJECTION;
float4x4 World : WORLD;
float4x4 ViewInverse : VIEWINVERSE;
float3 LampPos : Position < string Object = "PointLight0"; string Space = "World"; > = {0, 10, -10};
float3 LampColor : Specular < string Object = "PointLight0"; > = {1, 1, 1};
float3 Ambient = {0.08, 0.08, 0.1};
float Shininess = 24;

texture ColorTexture : DIFFUSE;
sampler2D ColorSampler = sampler_state
{
    Texture = <ColorTexture>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

struct VertexOut {
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float3 normal : TEXCOORD1;
    float3 toLamp : TEXCOORD2;
    float3 toEye : TEXCOORD3;
};

VertexOut LitVS(float4 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
    VertexOut o;
    float3 world = mul(position, World).xyz;
    o.position = mul(position, WorldViewProj);
    o.uv = uv;
    o.normal = mul(normal, (float3x3)World);
    o.toLamp = LampPos - world;
    o.toEye = ViewInverse[3].xyz - world;
    return o;
}

float4 LitPS(VertexOut i) : COLOR
{
    float3 n = normalize(i.normal), l = normalize(i.toLamp), v = normalize(i.toEye);
    float diffuse = saturate(dot(n, l));
    float specular = pow(saturate(dot(reflect(-l, n), v)), Shininess) * (diffuse > 0);
    float3 base = tex2D(ColorSampler, i.uv).rgb;
    float3 rim = pow(1 - saturate(dot(n, v)), 3) * float3(0.3, 0.4, 0.6);
    return float4(base * (Ambient + diffuse * LampColor) + specular * LampColor + rim, 1);
}

technique Lit
{
    pass P0
    {
        VertexShader = compile vs_2_0 LitVS();
        PixelShader = compile ps_2_0 LitPS();
    }
}
