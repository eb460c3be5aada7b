// Point lights kept in arrays that the application fills with SetVectorArray and
// SetFloatArray; a static const table, a loop over the lights, a struct between the stages
// and a helper with an out parameter.
#define MAX_LIGHTS 4

float4x4 mat_World_View_Proj : WORLDVIEWPROJECTION;
float4x4 matWorld : WORLD;

float4 LightPositions[MAX_LIGHTS] : LIGHTPOSITIONS = { {0, 0, -5, 1}, {0, 0, 0, 1},
                                                       {0, 0, 0, 1}, {0, 0, 0, 1} };
float4 LightColors[MAX_LIGHTS] = { {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0} };
float LightScale[MAX_LIGHTS] = { 1.0, 1.0, 1.0, 1.0 };
int NumLights = 1;

texture BaseTex < string ResourceName = "base.dds"; >;
sampler2D BaseSampler = sampler_state
{
    Texture = <BaseTex>;
    MinFilter = Point;
    MagFilter = Point;
    AddressU = Clamp;
    AddressV = Clamp;
};

static const float3 kAmbient[2] = { {0.05, 0.05, 0.05}, {0.0, 0.0, 0.0} };

struct VS_OUTPUT
{
    float4 Pos      : POSITION;
    float2 Uv       : TEXCOORD0;
    float3 WorldPos : TEXCOORD1;
    float3 Normal   : TEXCOORD2;
};

VS_OUTPUT MainVS(float4 pos : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
    VS_OUTPUT Out;
    Out.Pos = mul(pos, mat_World_View_Proj);
    Out.WorldPos = mul(pos, matWorld).xyz;
    Out.Normal = mul(normal, (float3x3)matWorld);
    Out.Uv = uv;
    return Out;
}

void Lambert(float3 p, float3 n, int i, out float3 colour)
{
    float3 l = normalize(LightPositions[i].xyz - p);
    colour = LightColors[i].rgb * LightScale[i] * saturate(dot(n, l));
}

float4 MainPS(VS_OUTPUT In) : COLOR
{
    float3 n = normalize(In.Normal);
    float3 sum = kAmbient[0];
    for (int i = 0; i < MAX_LIGHTS; i++)
    {
        if (i < NumLights)
        {
            float3 c;
            Lambert(In.WorldPos, n, i, c);
            sum += c;
        }
    }
    return float4(tex2D(BaseSampler, In.Uv).rgb * sum, 1.0);
}

technique Lit
{
    pass P0
    {
        VertexShader = compile vs_2_0 MainVS();
        PixelShader = compile ps_3_0 MainPS();
        CullMode = None;
        ZEnable = TRUE;
    }
}
