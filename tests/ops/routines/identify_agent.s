; A minimal trap routine for the board tests: it serves the agent mailbox at its workspace the
; way the flash agent does for the identify call (0x0010) and for nothing else. The mailbox:
; +0 command/status (word 0), +16 flash base (word 4), +20 manufacturer (word 5), +24 device
; (word 6). Flash cycles are 16-bit device accesses; unlock addresses are word 0x555 and 0x2AA.
poll:   ldl     0
        eqc     0x10
        cj      poll            ; no identify command yet
        ldc     0xAA
        ldc     0xAAA
        ldl     4
        bsub
        devss                   ; 0x555 = 0xAA
        ldc     0x55
        ldc     0x554
        ldl     4
        bsub
        devss                   ; 0x2AA = 0x55
        ldc     0x90
        ldc     0xAAA
        ldl     4
        bsub
        devss                   ; 0x555 = 0x90: autoselect
        ldl     4
        devls
        stl     5               ; manufacturer code
        ldc     2
        ldl     4
        bsub
        devls
        stl     6               ; device code
        ldc     0xF0
        ldl     4
        devss                   ; back to reading the array
        ldl     0
        ldc     1
        or
        stl     0               ; released
        j       poll
