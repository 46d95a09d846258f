; A handler that runs into an instruction the C2 does not have (opr 3, endp on other
; transputers); the IllegalOpcode trap is not enabled, so the CPU stops there.
        ldc     1
        .byte   0xF3
