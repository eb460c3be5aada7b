ps_1_2
tex t0
texm3x3pad t1, t0
texm3x3pad t2, t0
texm3x3vspec t3, t0
texdp3tex t0, t3
mad r0, t3, c0, t0
texkill t1
