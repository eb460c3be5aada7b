// Two passes: the lit texture, then a cube-map reflection and a projected texture added on
// top. The engine sets neither the cube map nor the projected texture, so both add black, as
// they would in Direct3D 9.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 View_Pos;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};
float LightAmbient = 0.1;

texture EnvMap;
texture ProjTex;
sampler2D Base : register(s0);
samplerCUBE EnvSampler = sampler_state { Texture = <EnvMap>; MinFilter = Linear; MagFilter = Linear; AddressU = Clamp; AddressV = Clamp; };
sampler2D ProjSampler = sampler_state { Texture = <ProjTex>; AddressU = Border; AddressV = Border; BorderColor = 0; };

struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; float3 n : TEXCOORD1; float3 l : TEXCOORD2;
              float3 r : TEXCOORD3; float4 proj : TEXCOORD4; };

VOut VS(float4 pos : POSITION, float3 n : NORMAL, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(pos, mat_World_View_Proj);
    float3 wp = mul(pos, matWorld).xyz;
    o.n = mul(n, (float3x3)matWorld);
    o.l = LightPos.xyz - wp;
    o.r = reflect(wp - View_Pos.xyz, normalize(o.n));
    o.proj = o.pos;
    o.uv = uv;
    return o;
}

float4 LitPS(VOut i) : COLOR
{
    float4 t = tex2D(Base, i.uv);
    return float4(t.rgb * LightColor.rgb * (LightAmbient + saturate(dot(normalize(i.n), normalize(i.l)))), 1);
}

float4 ExtrasPS(VOut i) : COLOR
{
    return float4(texCUBE(EnvSampler, i.r).rgb * 0.5 + tex2Dproj(ProjSampler, i.proj).rgb, 1);
}

technique ald_Phong
{
    pass Lit { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 LitPS(); CullMode = None; }
    pass Extras
    {
        VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 ExtrasPS();
        AlphaBlendEnable = True; SrcBlend = One; DestBlend = One; ZFunc = LessEqual; CullMode = None;
    }
}
technique ald_Phong_alpha
{
    pass Lit
    {
        VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 LitPS();
        AlphaBlendEnable = True; SrcBlend = One; DestBlend = One; CullMode = None;
    }
}
