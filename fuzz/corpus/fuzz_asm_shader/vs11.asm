vs_1_1
dcl_position v0
dcl_normal v1
dcl_texcoord v2
m4x4 oPos, v0, c0
dp3 r0.x, v1, c4
max r0.x, r0.x, c5.x   ; clamp
mul oD0, r0.x, c6
mov oT0.xy, v2
mov a0.x, c7.x
mov r1, c[a0.x + 8]
add oD1, r1, -c9
