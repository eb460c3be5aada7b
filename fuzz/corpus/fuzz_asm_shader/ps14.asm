ps_1_4
def c0, 0.5, 0.5, 0.5, 1
texld r0, t0
texcrd r1.rgb, t1_dw.xyw
texld r2, t2_dz
phase
texld r3, r1
bem r4.rg, r0, r2
mul r0, r0, r3
cnd r0, r2, r0, c0
cmp r1, r0_bx2, c1, r3_x2
texdepth r5
