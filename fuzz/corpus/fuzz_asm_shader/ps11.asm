ps.1.1
def c0, 1.0, 0.5, 0.25, 2.0
tex t0
texcoord t1
tex t2
mul r0, t0, v0
mul_x2 r1.rgb, t2_bx2, c1
+mov r1.a, 1-t0.a
cnd r0, r0.a, r1, t1
add_sat r0.rgb, r0, -v1_bias
+ mul r0.a, r0, c0
