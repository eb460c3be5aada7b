// Shader assembly of the first generation: a vs_1_1 that transforms with m4x4 and lights the
// vertex, a ps_1_1 that multiplies the texture by the lit colour. Both are shader variables;
// the parameters reach the constant registers through VertexShaderConstant states (matrices
// fill four registers, one column each). The further light's pass writes its states in lower
// case, as older effect files do, and leaves the pixel stage to the fixed-function one, whose
// stage 0 modulates the texture by the same colour.
float4x4 mat_World_View_Proj;
float4x4 matWorld;
float4 LightPos;
float4 LightColor = {1, 1, 1, 1};

VertexShader LitVS = asm
{
    vs_1_1
    dcl_position v0
    dcl_normal v1
    dcl_texcoord v2
    def c10, 0.1, 0, 0, 1      ; ambient term, zero
    m4x4 oPos, v0, c0          ; clip position
    m4x4 r0, v0, c4            ; world position
    m3x3 r1.xyz, v1, c4        ; world normal
    sub r2, c8, r0             ; towards the light
    dp3 r3.x, r2, r2
    rsq r3.x, r3.x
    mul r2.xyz, r2, r3.x
    dp3 r4.x, r1, r2
    max r4.x, r4.x, c10.y
    add r4.x, r4.x, c10.x
    mul oD0, c9, r4.x
    mov oT0.xy, v2
};

PixelShader TexPS = asm
{
    ps.1.1
    tex t0
    mul r0, t0, v0
};

technique ald_Phong
{
    pass P0
    {
        VertexShaderConstant[0] = <mat_World_View_Proj>;
        VertexShaderConstant4[4] = <matWorld>;
        VertexShaderConstantF[8] = <LightPos>;
        VertexShaderConstant1[9] = <LightColor>;
        VertexShader = <LitVS>;
        PixelShader = (TexPS);
        CullMode = None;
    }
}

technique ald_Phong_alpha
{
    pass P0
    {
        vertexshaderconstant[0] = <mat_World_View_Proj>;
        vertexshaderconstant4[4] = <matWorld>;
        vertexshaderconstantf[8] = <LightPos>;
        vertexshaderconstant1[9] = <LightColor>;
        vertexshader = <LitVS>;
        pixelshader = null;
        alphablendenable = true; srcblend = one; destblend = one; cullmode = none;
    }
}
