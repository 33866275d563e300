; river.vsh — water strip: two travelling cosine waves lift the surface, the texture slides
; along the course.
; In:  v0 position, v3 normal (unused), v5 colour, v7 texture coordinates (u, v).
; c0  = (0, 0.5, 1, 2)          c1.x = time T (one texture length per unit)
; c4-c7 = view x projection, transposed (one row per output component)
; c20 = cosine series (1, -0.5, 0.041, -0.001388)
; c21 = (pi, 1/(2 pi), 2 pi, -)  c22.x, c22.z = wave frequencies  c23.x, c23.y = amplitudes
vs.1.1

// r0.x = u - T + v runs downstream, r0.y = u + T + v upstream
add r0.x, v7.x, -c1.x
add r0.y, v7.x, c1.x
add r0.xy, r0, v7.y
mul r0.x, r0.x, c22.x
mul r0.y, r0.y, c22.z

/* wrap both angles into -pi ... pi: frac((a + pi) / (2 pi)) * 2 pi - pi */
add r0.xy, r0, c21.x
mul r0.xy, r0, c21.y
frc r0.xy, r0
mad r0.xy, r0, c21.z, -c21.x

// Q(a) = 1 + a^2 c20.y + a^4 c20.z + a^6 c20.w, both waves at once
mul r1.xy, r0, r0
mul r2.xy, r1, r1
mul r3.xy, r2, r1
mad r4.xy, r1, c20.y, c20.x
mad r4.xy, r2, c20.z, r4
mad r4.xy, r3, c20.w, r4

// lift the surface by both waves, then project
mov r5, v0
mad r5.y, r4.x, c23.x, r5.y
mad r5.y, r4.y, c23.y, r5.y
mov r5.w, c0.z
dp4 oPos.x, r5, c4
dp4 oPos.y, r5, c5
dp4 oPos.z, r5, c6
dp4 oPos.w, r5, c7

mov oD0, v5
add oT0.x, v7.x, -c1.x          ; the texture flows towards larger u
mov oT0.y, v7.y
