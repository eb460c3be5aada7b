ps_2_0
def c0, 1, 0.5, 0, 1
dcl t0.xy
dcl v0
dcl_2d s0
dcl_cube s1
texld r0, t0, s0
texldp r1, t0, s0
texldb r2, t0, s1
rcp r3.w, c1.x
mad r0, r0, v0, r1
dp2add r4, r0, c0, c0.x
nrm r5, r4
sincos r6.xy, r3.w, c2, c3
mov oC0, r0
mov oDepth, r5.x
texkill r0
