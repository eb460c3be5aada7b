// vs_3_0 and ps_3_0 assembly with declared semantics: the vertex shader packs the texture
// coordinates and the lit term into one output register (o1.xy TEXCOORD0, o1.zw TEXCOORD1),
// the pixel shader unpacks them the same way, sums the lit term in a loop over aL and
// multiplies by the texture under a static branch.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 LightPos;

VertexShader LitVS = asm
{
    vs_3_0
    dcl_position v0
    dcl_normal v1
    dcl_texcoord0 v2
    dcl_position o0
    dcl_texcoord0 o1.xy
    dcl_texcoord1 o1.zw
    def c9, 0, 0.25, 0, 0
    m4x4 o0, v0, c0
    m4x4 r0, v0, c4
    m3x3 r1.xyz, v1, c4
    nrm r2, r1
    sub r3, c8, r0
    nrm r4, r3
    dp3 r5.x, r2, r4
    max r5.x, r5.x, c9.x
    mov o1.xy, v2
    mul o1.zw, r5.x, c9.y      ; a quarter of the lit term
};

PixelShader TexPS = asm
{
    ps_3_0
    def c0, 0.1, 0, 0, 1
    defi i0, 4, 0, 1, 0
    defb b0, true
    dcl_texcoord0 v0.xy
    dcl_texcoord1 v0.zw
    dcl_2d s0
    mov r1, c0.x
    loop aL, i0
        add r1, r1, v0.z       ; four quarters
    endloop
    mov r0, c0.w
    if b0
        texld r0, v0, s0
    endif
    mul oC0, r0, r1
};

technique ald_Phong
{
    pass P0
    {
        VertexShaderConstant[0] = <mat_World_View_Proj>;
        VertexShaderConstant[4] = <matWorld>;
        VertexShaderConstant[8] = <LightPos>;
        VertexShader = <LitVS>;
        PixelShader = <TexPS>;
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        VertexShaderConstant[0] = <mat_World_View_Proj>;
        VertexShaderConstant[4] = <matWorld>;
        VertexShaderConstant[8] = <LightPos>;
        VertexShader = <LitVS>;
        PixelShader = <TexPS>;
        AlphaBlendEnable = TRUE; SrcBlend = ONE; DestBlend = ONE; CullMode = None;
    }
}
