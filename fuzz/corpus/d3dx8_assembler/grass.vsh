; grass.vsh — swaying grass: four travelling sine waves push the upper edge of each quad sideways
; and vary its tint; the roots (v = 1) stay put.
; In:  v0 position (stored four times larger than the world), v7 texture coordinates (u, v).
; c0  = (0, 0.5, 1, 2)     c1.x = time     c4-c7 = scale x view x projection, transposed
; c8  = sine series (-1/6, 1/120, -1/5040, 1/362880)   c10.x = angle stretch
; c11, c12, c13 = sideways push of the four waves on x, y, z
; c14, c15 = phase per unit of x and of height   c16 = phase per unit of time
; c17.w = 2 pi   c18 = tint per wave   c19 = (0.6, 0.7, 0.2, 0): base tint and its spread
vs.1.1

// phase of the four waves: x c14 + height c15 + time c16
mov r3.x, c1.x
mul r0, c14, v0.x
mad r0, c15, v0.y, r0
mad r0, c16, r3.x, r0

// keep the fraction of each phase (frc writes two components at a time)
frc r2.xy, r0
frc r1.xy, r0.zw
mov r2.zw, r1.xxxy

// angle = (fraction * 1.07 - 0.5) * 2 pi, about -pi ... pi
mul r2, r2, c10.x
add r2, r2, -c0.y
mul r2, r2, c17.w

// S = a + a^3 c8.x + a^5 c8.y + a^7 c8.z + a^9 c8.w per wave
mul r4, r2, r2
mul r5, r4, r2
mad r6, r5, c8.x, r2
mul r5, r5, r4
mad r6, r5, c8.y, r6
mul r5, r5, r4
mad r6, r5, c8.z, r6
mul r5, r5, r4
mad r6, r5, c8.w, r6

// sideways push, weighted by (1 - v)^2 so that the foot does not move
dp4 r7.x, r6, c11
dp4 r7.y, r6, c12
dp4 r7.z, r6, c13
add r8.x, c0.z, -v7.y
mul r8.x, r8.x, r8.x
mul r7.xyz, r7, r8.x

add r9.xyz, v0, r7
mov r9.w, c0.z
m4x4 oPos, r9, c4

// tint: 0.7 - w (0.6, 0.2, 0.6, 0.2) with w = S . c18
dp4 r10.x, r6, c18
mul r11, r10.x, c19.xzxz
add oD0, c19.y, -r11
mov oT0.xy, v7
