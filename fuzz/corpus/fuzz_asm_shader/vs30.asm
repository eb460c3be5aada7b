vs_3_0
dcl_position v0
dcl_texcoord0 v1
dcl_position o0
dcl_texcoord0 o1.xy
dcl_texcoord1 o1.zw
dcl_color o2
dcl_fog o3.x
dcl_2d s0
texldl r0, v1, s0
mov o0, v0
mov o1, r0
mov o2, c0
mov o3.x, c1.x
