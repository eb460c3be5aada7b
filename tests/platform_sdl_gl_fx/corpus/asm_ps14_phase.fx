// A ps.1.4 pixel shader in two phases behind an HLSL vertex shader: the first phase takes the
// texture coordinates with texcrd, the second reads the texture at them (a dependent read)
// and multiplies it by the lit colour the vertex shader passes in COLOR0.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};

struct Lit { float4 pos : POSITION; float4 colour : COLOR0; float2 uv : TEXCOORD0; };

Lit LitVS(float4 pos : POSITION, float3 n : NORMAL, float2 uv : TEXCOORD0)
{
    Lit o;
    o.pos = mul(pos, mat_World_View_Proj);
    float3 l = normalize(LightPos.xyz - mul(pos, matWorld).xyz);
    o.colour = LightColor * (0.1 + saturate(dot(normalize(mul(n, (float3x3)matWorld)), l)));
    o.uv = uv;
    return o;
}

technique ald_Phong
{
    pass P0
    {
        VertexShader = compile vs_2_0 LitVS();
        PixelShader = asm
        {
            ps.1.4
            texcrd r1.rgb, t0      // the coordinates, read as values
            phase
            texld r0, r1           ; stage 0 at them
            mul r0, r0, v0
        };
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShader = compile vs_2_0 LitVS();
        PixelShader = asm
        {
            ps_1_4
            def c0, 0.5, 0.5, 0.5, 0.5
            texld r0, t0
            mul_x2 r0, r0, c0      ; times 2 * 0.5
            mul r0, r0, v0
        };
        AlphaBlendEnable = True; SrcBlend = One; DestBlend = One; CullMode = None;
    }
}
