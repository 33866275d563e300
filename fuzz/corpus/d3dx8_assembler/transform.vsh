vs.1.1
def c8, 1.0, -0.5, 0.25, 2
m4x4 oPos, v0, c4
mov oD0, v5
mov oT0.xy, v7
