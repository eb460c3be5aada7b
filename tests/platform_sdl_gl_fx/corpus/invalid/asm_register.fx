// Not an effect: ps_1_1 has the temporary registers r0 and r1 only, so the pixel shader's
// assembly does not assemble.
float4x4 mat_World_View_Proj;

technique ald_Phong
{
    pass P0
    {
        VertexShaderConstant[0] = <mat_World_View_Proj>;
        VertexShader = asm { vs_1_1 dcl_position v0 m4x4 oPos, v0, c0 };
        PixelShader = asm
        {
            ps_1_1
            mov r2, v0
            mov r0, r2
        };
    }
}
