ps_3_0
defi i0, 4, 0, 1, 0
defb b0, true
dcl_texcoord0 v0.xy
dcl_texcoord1 v0.zw
dcl_color v1
dcl vPos.xy
dcl vFace
dcl_2d s0
mov r0, c0
loop aL, i0
add r0, r0, v[aL]
break_gt r0.x, c1.x
endloop
rep i1
if b0
mul r0, r0, c2
else
if_lt r0.y, c3.x
add r0, r0, vPos
endif
endif
endrep
setp_gt p0.x, r0.x, c4.x
(p0.x) mov r0, c5
(!p0) add r0, r0, vFace
call l0
callnz l1, b1
mov oC0, r0
ret
label l0
texldl r1, v0, s0
dsx r2, r1
dsy r3, r1
mul r0, r0, r1
ret
label l1
abs r0, -r0_abs
ret
