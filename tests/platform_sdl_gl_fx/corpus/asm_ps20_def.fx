// vs_2_0 and ps_2_0 assembly: the vertex shader passes the lit term in a texture coordinate;
// the pixel shader adds its def'd ambient, reads stage 0 with texld and takes the light's
// colour from a constant register that a PixelShaderConstant state fills from a parameter.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};

VertexShader LitVS = asm
{
    vs_2_0
    dcl_position v0
    dcl_normal v1
    dcl_texcoord0 v2
    m4x4 oPos, v0, c0
    m4x4 r0, v0, c4
    m3x3 r1.xyz, v1, c4
    nrm r2, r1
    sub r3, c8, r0
    nrm r4, r3
    dp3 r5.x, r2, r4
    max r5.x, r5.x, c9.x
    mov oT0.xy, v2
    mov oT1, r5.x
};

PixelShader TexPS = asm
{
    ps_2_0
    def c0, 0.1, 0, 0, 1
    dcl t0.xy
    dcl t1.x
    dcl_2d s0
    texld r0, t0, s0
    add r1.x, t1.x, c0.x
    mul r1.rgb, r1.x, c2
    mul r0.rgb, r0, r1
    mov oC0, r0
};

technique ald_Phong
{
    pass P0
    {
        VertexShaderConstant[0] = <mat_World_View_Proj>;
        VertexShaderConstant[4] = <matWorld>;
        VertexShaderConstant[8] = <LightPos>;
        VertexShaderConstantF[9] = {0, 0, 0, 0};
        PixelShaderConstantF[2] = <LightColor>;
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
        VertexShaderConstant[9] = float4(0, 0, 0, 0);
        PixelShaderConstant[2] = {1.0, 1.0, 1.0, 1.0};
        VertexShader = <LitVS>;
        PixelShader = <TexPS>;
        AlphaBlendEnable = TRUE; SrcBlend = ONE; DestBlend = ONE; CullMode = None;
    }
}
