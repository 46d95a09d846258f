; The simulated board's internal ROM: 128 KiB at 0x7FFE0000, up to the top of the address space.
; The CPU starts at 0x7FFFFFFE (the last two bytes) at high priority. The boot code sets the
; workspace and enters the resident program, an idle loop that steps down through eight words
; of its workspace, storing each word's own address there, with a jump between steps, and then
; goes back up: the DCU monitor sees the jump trace and the data address move, and every break
; condition the host can arm finds a jump, an instruction and a data access it comes back to.
;
; Its only memory is the workspace 0x800003E0..0x800003FF in internal SRAM: clear of the trap
; structures (0x80000040..0x8000013F), of the peek/poke words above MemStart and of the host's
; default trap routine area (0x80000800 on), and of SDRAM and video RAM, which the host searches
; for free memory. Every pass stores the same values, so an idle pass changes nothing.

        .equ    ROM_BASE, 0x7FFE0000
        .equ    ROM_SIZE, 0x20000
        .equ    WORKSPACE_TOP, 0x80000400   ; the idle loop's Wptr at the top of each pass
        .equ    STEPS, 8                    ; workspace words it steps through

banner: .ascii  "ST20 internal boot ROM (simulated) rev 3"
        .byte   0
        .align  4

; Boot: workspace, then the idle loop. Nothing else is set up: traps stay disabled and the
; clocks run from their reset values.
boot:   ldc     WORKSPACE_TOP
        gajw
        j       idle
        nop

; The resident program. One backward jump only, at the end of a pass.
idle:   ajw     -1
        ldlp    0
        stl     0
        j       step1
        nop                 ; jumped over: j to the next instruction would be j 0
step1:  ajw     -1
        ldlp    0
        stl     0
        j       step2
        nop
step2:  ajw     -1
        ldlp    0
        stl     0
        j       step3
        nop
step3:  ajw     -1
        ldlp    0
        stl     0
        j       step4
        nop
step4:  ajw     -1
        ldlp    0
        stl     0
        j       step5
        nop
step5:  ajw     -1
        ldlp    0
        stl     0
        j       step6
        nop
step6:  ajw     -1
        ldlp    0
        stl     0
        j       step7
        nop
step7:  ajw     -1
        ldlp    0
        stl     0
        ajw     STEPS
        j       idle

; Unused ROM reads as erased.
        .space  ROM_SIZE - 0x100 - (. - ROM_BASE), 0xFF

; Within reach of the two-byte jump at the reset address.
far:    j       boot
        .space  ROM_SIZE - 2 - (. - ROM_BASE), 0xFF

; The reset address 0x7FFFFFFE.
reset:  j       far
