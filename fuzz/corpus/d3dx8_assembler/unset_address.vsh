vs.1.1
mov r0, v0
add r0.xy, r0, c[ 3 + a0.x ]
mov oPos, r0
