ps_1_3
tex t0
texbeml t1, t0
texm3x2pad t2, t0_bx2
texm3x2tex t3, t0_bx2
mul r0, t1, t3
