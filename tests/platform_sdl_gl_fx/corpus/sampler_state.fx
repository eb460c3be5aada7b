// Textured, lit by one light at a time; the style of the SDK's basic samples: semantics,
// annotations, a texture parameter with a sampler_state, structs in and out.
float4x4 mat_World_View_Proj : WORLDVIEWPROJECTION;
float4x4 matWorld : WORLD < string UIWidget = "None"; >;
float4 LightPos : POSITION < string Object = "PointLight0"; > = {0, 0, -10, 1};
float4 LightColor : DIFFUSE = {1, 1, 1, 1};
float LightAmbient < float UIMin = 0; float UIMax = 1; > = 0.1;

texture BaseTex : DIFFUSE < string ResourceName = "default_color.dds"; >;
sampler2D BaseSampler = sampler_state
{
    Texture = <BaseTex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
    AddressU = Wrap;
    AddressV = Wrap;
};

struct VS_INPUT
{
    float4 Position : POSITION;
    float3 Normal : NORMAL;
    float2 TexCoord : TEXCOORD0;
};

struct VS_OUTPUT
{
    float4 Position : POSITION;
    float2 TexCoord : TEXCOORD0;
    float3 Normal : TEXCOORD1;
    float3 ToLight : TEXCOORD2;
};

VS_OUTPUT RenderSceneVS(VS_INPUT In)
{
    VS_OUTPUT Out = (VS_OUTPUT)0;
    Out.Position = mul(In.Position, mat_World_View_Proj);
    float3 worldPos = mul(In.Position, matWorld).xyz;
    Out.Normal = mul(In.Normal, (float3x3)matWorld);
    Out.ToLight = LightPos.xyz - worldPos;
    Out.TexCoord = In.TexCoord;
    return Out;
}

float4 RenderScenePS(VS_OUTPUT In) : COLOR0
{
    float diffuse = saturate(dot(normalize(In.Normal), normalize(In.ToLight)));
    float4 texel = tex2D(BaseSampler, In.TexCoord);
    return float4(texel.rgb * LightColor.rgb * (LightAmbient + diffuse), texel.a);
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 RenderSceneVS();
        PixelShader = compile ps_2_0 RenderScenePS();
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 RenderSceneVS();
        PixelShader = compile ps_2_0 RenderScenePS();
        AlphaBlendEnable = true;
        SrcBlend = One;
        DestBlend = One;
        ZWriteEnable = false;
        ZFunc = LessEqual;
        CullMode = None;
    }
}
