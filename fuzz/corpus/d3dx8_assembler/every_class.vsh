vs.1.1
mov a0.x, v1.x
mov r0, c[a0.x + 10]
rcp r1.w, r0.w
rsq r1.x, r0.x
mov r1.yz, c2
expp r2.xy, r0.z
logp r2.zw, r0.y
exp r3, r0.w
log r4, r0.z
lit r5, r0
dst r6, r0, r1
max r7, r5, r6
min r7, r7, -r0
slt r8, r7, c0
sge r9, r7, c0.x
frc r10.xy, r9
m3x3 r11.xyz, r0, c20
m4x3 oT1, v0, c24
m3x4 oT2, v2, c28
m3x2 oT3, r0, c32
mov oFog.x, r0.y
mov oPts.x, c1
dp3 oPos.x, v0, c4
dp4 oPos.yzw, v0, c5
