; A handler that resets the CPU through its own debug unit: a device store of the reset bit
; (27) to DCU_CONTROL at 0x3004.
        ldc     0x08000000
        ldc     0x3004
        devsw
        ldc     1
