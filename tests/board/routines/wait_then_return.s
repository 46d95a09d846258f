; A Breakpoint handler for the board tests: waits until the host writes a nonzero word at the
; workspace (the mailbox's +0), marks OP_TEMP (workspace word 5) with 0x600D and returns to
; the trapped code with tret.
wait:   ldl     0
        cj      wait
        ldc     0x600D
        stl     5
        tret
