vs_2_0
dcl_position v0
dcl_blendweight v1
dcl_blendindices v2
dcl_tangent v3
dcl_texcoord3 v4
defi i0, 2, 0, 1, 0
mov r0, c0
rep i0
mova a0.x, v2.x
m4x3 r1.xyz, v0, c[a0.x + 10]
add r0, r0, r1
endrep
lit r2, r0
dst r3, r2, r0
expp r4, r0.x
logp r5, r0.y
exp r6, r0.z
log r7, r0.w
frc r8, r0
sge r9, r0, c1
slt r10, r0, c1
sgn r11, r0, r9, r10
crs r2.xyz, r0, r1
pow r3, r0.x, c2.y
m3x3 r4.xyz, v3, c4
m3x2 r4.xy, v3, c4
m3x4 r4, v3, c4
mov oPos, r0
mov oFog, r2.x
mov oPts, r3.x
mov oT3, v4
