; fl4_trap.s - Tapster's flash agent: the trap routine that programs and erases the board's
; flash chip on behalf of the host.
;
; The host loads this image at a trap routine address T of its choosing and points a trap slot
; at it: the routine is entered at T with Wptr = T + 0x200, and that workspace is the mailbox.
; The code is position independent (only relative jumps and calls, no absolute addresses).
;
; Mailbox (byte offsets from the entry Wptr M; every host word is read with devlw and every
; answer written with devsw, so a data cache never hides the host's writes from the agent):
;   +0   command / status word      +4   flash address          +8   source address
;   +12  length                     +16  flash base             +20  result 1 (OP_TEMP)
;   +24  result 2                   +28  the host's buffer, 4096 bytes
;
; Three images come from this source: fl4_trap.bin for AMD/JEDEC chips, fl4_trap_intel.bin for
; Intel/Sharp chips and fl4_trap_sst.bin for SST 39VF chips (no two families fit in one 484-byte
; image). A line starting with a tag belongs only to the images it names: "@A" AMD, "@I" Intel,
; "@S" SST, "@AS" both JEDEC images, "@AI" AMD and Intel; every other line to all three. The
; build (fl4_trap_variant.cmake) writes the three sources and assembles them.
;
; Workspace: the routine moves Wptr down by FRAME words at entry (W = M - 4*FRAME) and keeps its
; locals at W+0 .. W+4*FRAME-4, just below the mailbox (five words: the host's full 484-byte
; image ends 28 bytes below the mailbox, and a call takes 16 more). A call writes W-16 .. W-4;
; no routine calls another, so nothing below W-16 is touched. All the agent ever writes lies in
; [T + LOW_WATER, M + 28): the mailbox answer and result words, and that workspace. The image
; must end at or below LOW_WATER; CODE_FITS below fails to assemble otherwise.
;
; Calls: a command code written to +0 (0x0010 identify, 0x0020 protection status, 0x0100
; program, 0x0200 erase block, 0x0400 erase chip) starts a call. The answer replaces the word:
; 0x0001 released, or 0x0008 aborted, with the agent's own reason bits above them:
;   0x00010000 the chip reported a failure (AMD DQ5, Intel SR5/SR4/SR3), or (AMD, SST) a word read back
;              differs from what was written (on an AMD chip also a program into a protected
;              sector, which takes nothing and reads back as it was)
;   0x00020000 timed out: the agent's own time limit ran out
;   0x00040000 the block is locked (Intel SR1: a B3 boot block under WP#, a C3 block locked
;              down under WP#), or the AMD sector to be erased is protected
;   0x00080000 not a chip of this image's family (Intel image: or no CFI size for erase chip)
;   0x00100000 bad call (an unknown command code, or a length above 4096)
;   0x00200000 with released: the AMD chip erase left protected sectors as they were (the
;              Intel image has no chip erase of the chip's own; its block by block erase ends
;              the call at a block that stays locked, with 0x00040000)
; A stop (0x0004) written during a call ends the wait it is in with "aborted"; a stop between
; calls is answered with the verdict of the last call. Every call leaves the chip's ID codes in
; +20 (manufacturer) and +24 (device); protection status then puts its word in +20.
;
; Flash: one x16 chip on a 16-bit bus, every command and data cycle a devss/devls half-word
; access. The family comes from the chip itself: the ID codes (AMD autoselect, which an Intel
; part takes as read identifier; the Intel image sends only the 0x90), then the CFI query (word
; 0x55 = 0x98) for the primary command set: 0x0002 AMD/JEDEC, 0x0001 or 0x0003 Intel/Sharp. A
; chip without CFI counts as Intel/Sharp when its manufacturer code is 0x89 or 0xB0, else as
; AMD/JEDEC. The SST image unlocks at words 0x5555/0x2AAA (an SST part decodes A14..A0; AMD
; parts take these as 0x555/0x2AA, their A11 and up being don't-care), needs no CFI and takes
; the chips whose manufacturer code is 0xBF; it never asks an SST part for protection (it has
; none, and its software ID mode answers by A0 alone). Each image drives only its own family and
; answers any other call with "not this family"; the AMD and SST images still identify AMD and
; Intel chips, so "Check" tells which image a board needs. 0xF0 (and 0x50 in the Intel image)
; and 0xFF bring every family back to reading.
;
; Locks (Intel image): a C3 (device 0x88C0..0x88CF) has the block unlocked before each program
; or erase command (see issue). A chip of Intel's extended command set (CFI primary command set
; 0x0001: the J3 and the FlashFile parts before it, whose lock bits are non-volatile and cleared
; all at once by 0x60, 0xD0) has every block's lock bit read before a program or erase call, and
; if one is set, all are cleared, once per call (see dispatch). The boot block parts (B3, C3)
; answer 0x0003 and are never sent that. The agent never sets a lock bit or locks a block.
;
; Real silicon: no overflow-checked instruction anywhere (addresses and counts use bsub, diff,
; sum, prod, gtu and gt); every value that lives across a jump is in the workspace, since j
; leaves A, B and C undefined; no descheduling instruction, no j 0, no illegal opcode.

FRAME   = 5                     ; local words below the mailbox

; locals (W + 4n)
BASE    = 0                     ; flash base (+16)
ADDR    = 1                     ; flash address being worked on; probe scratch
VAL     = 2                     ; command word at dispatch; value written; 0xFFFF for erase
MASK    = 3                     ; byte lanes outside the range (0xFF each); the reason bits once
                                ; the call ends (shifted up into the answer); the answer between
                                ; calls
LEN     = 4                     ; log2 of the chip size (CFI); length (program); Intel erase: bytes
                                ; left to scan, 0 for one block; AMD erase: scratch

; mailbox words, from W
MB      = FRAME
MB_ADDR = FRAME + 1
MB_SRC  = FRAME + 2
MB_LEN  = FRAME + 3
MB_BASE = FRAME + 4
MB_RES1 = FRAME + 5
MB_RES2 = FRAME + 6

; the same, seen from inside a call (W is 4 words lower)
S_BASE  = BASE + 4
S_ADDR  = ADDR + 4
S_VAL   = VAL + 4
S_MASK  = MASK + 4
S_LEN   = LEN + 4
S_MB    = MB + 4
S_MB_ADDR = MB_ADDR + 4
S_MB_SRC = MB_SRC + 4
S_MB_RES2 = MB_RES2 + 4

; status bits and reasons (reasons are shifted up by 16 into the answer)
ST_RELEASED = 0x0001
ST_STOP     = 0x0004
ST_ABORTED  = 0x0008
R_FAILED    = 1
R_TIMEOUT   = 2
R_PROTECTED = 4                 ; Intel: SR1; AMD: a protected sector to erase
R_UNKNOWN   = 8
R_BADCALL   = 16

R_SKIPPED   = 32                ; with released: a chip erase left protected or locked sectors

; time limits, as powers of two of the high-priority clock's microseconds
T_PROGRAM = 11                  ; 2.05 ms: slowest word program 630 us (28F320J3)
T_UNLOCK  = 20                  ; 1.05 s: clear all lock bits, 0.5 s typical (28F320J3)
T_ERASE   = 25                  ; 33.6 s: slowest block erase 15 s (AM29LV160D, MX29LV160D)
T_CHIP    = 27                  ; 134 s: slowest chip erase 100 s (AM29LV160D)

; ---------------------------------------------------------------------------------------------
start:  ajw     -FRAME
        ldc     ST_ABORTED      ; a command left from before this entry is answered "aborted",
        stl     MASK            ; and so is a stop before the first call
        j       fin

; reset: back to reading the array, whatever the family and state (AMD and SST: 0xF0; Intel:
; 0x50 clears the error bits, 0xFF reads the array; AMD and SST parts ignore 0xFF, and an Intel
; part takes the 0xF0 of the JEDEC images as an error that the 0xFF leaves harmless). The
; Intel image puts no JEDEC chip into autoselect or CFI, so it sends no 0xF0.
reset:
@AS     ldc     0xF0
@AS     ldl     S_BASE
@AS     devss
@I      ldc     0x50
@I      ldl     S_BASE
@I      devss
        ldc     0xFF
        ldl     S_BASE
        devss
        ret

; ident: Intel read identifier (0x90).
@I ident: ldc   0x90
@I      ldl     S_BASE
@I      devss
@I      ret

; A call: read the flash base and the chip's ID codes and CFI answers.
go:     ldlp    MB_BASE
        devlw
        stl     BASE
@A      call    auto            ; autoselect (an Intel part: read identifier)
@S      ldc     0x90            ; software ID
@S      call    cmd
@I      call    ident           ; read identifier
        ldl     BASE            ; manufacturer -> result 1
        devls
        ldlp    MB_RES1
        devsw
        ldl     BASE            ; device -> result 2
        ldc     2
        bsub
        devls
        ldlp    MB_RES2
        devsw
@A      call    reset           ; (AMD: CFI from read mode, so that 0xF0 leads back to it)
@AI     ldc     0x98            ; CFI query (AMD: at word 0x55; Intel: any address)
@AI     ldl     BASE
@A      ldc     0xAA
@A      bsub
@AI     devss
@A      ldl     BASE            ; word 0x10: "Q"
@A      ldc     0x20
@A      bsub
@A      devls
@A      stl     MASK
@AI     ldl     BASE            ; word 0x13: primary command set
@AI     ldc     0x26
@AI     bsub
@AI     devls
@AI     stl     ADDR
@AI     ldl     BASE            ; word 0x27: size 2^n bytes
@AI     ldc     0x4E
@AI     bsub
@AI     devls
@AI     stl     LEN
        call    reset
@AS     ldl     VAL             ; identify: done, whatever the family
@AS     eqc     0x0010
@AS     eqc     0
@AS     cj      done
        ; the other calls need a chip of this image's family
@S      ldlp    MB_RES1         ; SST: the maker's code 0xBF
@S      devlw
@S      eqc     0xBF
@S      cj      unknown
@A      ldl     MASK
@A      eqc     'Q'
@A      cj      bymfr
@A      ldl     ADDR            ; CFI command set 2: AMD/JEDEC
@A      eqc     2
@A      cj      unknown
@I      ldl     ADDR            ; CFI command set 1 or 3: Intel/Sharp (a part without CFI
@I      ldc     -3              ; answers with its status, SR7 set, never 1 or 3)
@I      and
@I      eqc     1
@I      cj      bymfr
@AI     j       dispatch
@AI bymfr: ldc  0               ; no CFI: no size known (the lock scan reads one word)
@AI     stl     LEN
@AI     ldlp    MB_RES1         ; an Intel (0x89) or Sharp (0xB0) manufacturer code?
@AI     devlw
@AI     eqc     0x89
@AI     ldlp    MB_RES1
@AI     devlw
@AI     eqc     0xB0
@AI     or
@A      eqc     0
@AI     cj      unknown
dispatch:
@I      ldl     VAL             ; identify: the codes are in the result words
@I      eqc     0x0010
@I      eqc     0
@I      cj      done
@AS     ldlp    MB_ADDR
@AS     devlw
@AS     stl     ADDR
        ldl     VAL
        eqc     0x0020
        eqc     0
        cj      query
; Intel: a chip with non-volatile lock bits (CFI primary command set 0x0001: the J3 and the
; FlashFile parts before it) clears all of them with 0x60, 0xD0 at once. Before a program or
; erase the agent reads every block's bit in identifier mode and, if one is set, clears them
; all, once per call, polling SR7 with its own time limit (SR5: failed). (Also before an
; unknown command code is refused: the image has no room to tell those apart first.)
@I      ldl     ADDR            ; the CFI primary command set
@I      eqc     1
@I      cj      nolock
@I      call    ident
@I      ldc     0
@I      stl     MASK
@I      ldl     BASE
@I      call    locks
@I      call    reset
@I      ldl     MASK
@I      cj      nolock
@I      ldl     BASE
@I      stl     ADDR
@I      ldc     0xD0
@I      ldc     0x60
@I      call    issue
@I      ldc     T_UNLOCK
@I      call    wait
@I nolock:
@I      ldlp    MB_ADDR
@I      devlw
@I      stl     ADDR
        ldl     VAL
        eqc     0x0100
        eqc     0
        cj      program
        ; erase block or chip: the word at ADDR must read back erased
        ldl     VAL
        eqc     0x0400
        ldl     VAL
        eqc     0x0200
@AS     ldc     0xFFFF
@AS     stl     VAL
@AS     ldc     0
@AS     stl     MASK
        eqc     0
        cj      erase
        cj      badcall

; Erase chip. AMD and SST: the chip's own chip erase (unlock 0x80, unlock 0x10), polled and
; checked at the chip base, so the chip clears every sector itself, also those the bus cannot
; reach (a chip whose top lies behind the internal ROM). An AMD chip skips its protected
; sectors: the agent then reads every 4 KiB step's protection bit in autoselect and answers
; released with R_SKIPPED if one is set. Intel parts have no chip erase: every block that holds
; a word other than 0xFFFF is erased (a C3 block unlocked first), scanning the whole chip (its
; size from CFI), block by block with no region table; a block that stays locked ends the call.
@AS     ldc     0x80
@AS     call    cmd
@AS     ldc     0x10
@AS     call    cmd
@AS     ldl     BASE
@AS     stl     ADDR
@AS     ldc     T_CHIP
@AS     call    wait
@A      call    auto
@A      ldl     BASE
@A      call    locks
@AS     j       donek
@I      ldl     LEN
@I      cj      unknown         ; no CFI: the size is not known
@I      ldc     1
@I      ldl     LEN
@I      shl
@I      stl     LEN
@I      ldl     BASE
@I      stl     ADDR
@I cscan: ldl   LEN
@I      cj      done
@I      ldl     ADDR
@I      devls
@I      eqc     0xFFFF
@I      cj      eblock          ; programmed: erase the block holding it
@I      ldc     2
@I      ldl     ADDR
@I      bsub
@I      stl     ADDR
@I      ldl     LEN
@I      ldc     2
@I      diff
@I      stl     LEN
@I      j       cscan

; Erase block: the block holding +4.
erase:
@I      ldc     0
@I      stl     LEN
@I eblock:
@A      call    auto            ; AMD: a protected sector ignores the erase and may read back
@A      call    prot            ; erased at the one word checked, so ask the chip first: its
@A      stl     LEN             ; protection bit, in autoselect at block + word 2 (as query)
@A      call    reset
@A      ldl     LEN             ; 1 protected, 0 not
@A      eqc     0
@A      cj      locked
@AS     ldc     0x80            ; AMD: unlock 0x80, unlock 0x30 at the block (SST: its 4 KiB
@AS     call    cmd             ; sector)
@AS     ldl     ADDR
@AS     ldc     0x30
@AS     call    cmda
@I      ldc     0xD0            ; Intel: 0x20, 0xD0 at the block
@I      ldc     0x20
@I      call    issue
        ldc     T_ERASE
        call    wait
@AS     j       done
@I      ldl     LEN
@I      cj      done
@I      j       cscan

; The end of a call: the answer replaces the command word.
; (A, B and C do not live across a jump: the status goes through VAL.)
badcall: ldc    R_BADCALL
        stl     MASK
        j       fail
@A locked: ldc  R_PROTECTED
@A      stl     MASK
@A      j       fail
unknown: ldc    R_UNKNOWN
        stl     MASK
fail:   ldc     ST_ABORTED
        stl     VAL
        j       last
done:   ldc     0               ; no reason
        stl     MASK
donek:  ldc     ST_RELEASED     ; (with the reason bits in MASK)
        stl     VAL
last:   ldl     VAL
        ldl     MASK
        ldc     16
        shl
        or
        stl     MASK
        call    reset
fin:    ldl     MASK
        ldlp    MB
        devsw

; Between calls: wait for a command code (non-zero, neither answer bit set) or a stop.
idle:   ldlp    MB
        devlw
        stl     VAL
        ldl     VAL
        eqc     ST_STOP
        eqc     0
        cj      fin             ; stop: answer again with the last verdict
        ldl     VAL
        cj      idle
        ldl     VAL
        ldc     ST_RELEASED | ST_ABORTED
        and
        cj      go
        j       idle


; Protection status of the block holding +4, read in identifier mode at block + word 2 (AMD:
; 1 protected; Intel: bit 0 locked, bit 1 locked down). The address is +4 with its low nine bits
; cleared, so the word address's low byte is exactly 2 (what a chip that decodes all of them
; needs; AMD parts look only at A6, A1 and A0).
query:
@A      call    auto
@A      call    prot
@I      call    ident
@I      ldlp    MB_ADDR
@I      devlw
@I      ldc     -512
@I      and
@I      ldnlp   1
@I      devls
@S      ldc     0               ; SST: no protection, nothing to ask the chip
        ldlp    MB_RES1
        devsw
        j       done

; locks: with the chip in autoselect (identifier) mode, reads the protection (lock) word at
; word 2 of every 4 KiB step over the chip's 2^LEN bytes (the smallest sector of the AMD parts
; is 8 KiB, a J3 block 128 KiB) and sets MASK to R_SKIPPED when one reads 1. A = the chip
; base; W+4 the address.
@AI locks:                      ; A = the chip base
@AI lk: ldl     1
@AI     ldnlp   1
@AI     devls
@AI     eqc     1
@AI     cj      lknext
@AI     ldc     R_SKIPPED
@AI     stl     S_MASK
@AI lknext: ldl 1
@AI     ldnlp   0x400
@AI     dup
@AI     stl     1
@AI     ldl     S_BASE
@AI     diff
@AI     ldl     S_LEN
@AI     shr
@AI     cj      lk
@AI     ret

; prot: the AMD protection word of the block holding ADDR, in autoselect at block + word 2.
@A prot: ldl    S_ADDR
@A      ldc     -512
@A      and
@A      ldnlp   1
@A      devls
@A      ret

; cmd: a JEDEC command, A = the data of its last cycle: 0xAA at word 0x555 (SST: 0x5555), 0x55
; at word 0x2AA (SST: 0x2AAA), then A at word 0x555; cmda: the same with B the address of the
; last cycle; auto: cmd 0x90, autoselect.
@A auto: ldc    0x90
@A      stl     1
@AS cmd: ldl    S_BASE
@A      ldc     0xAAA
@S      ldc     0xAAAA
@AS     bsub
@AS     stl     2
@AS cmda: ldc   0xAA
@AS     ldl     S_BASE
@A      ldc     0xAAA
@S      ldc     0xAAAA
@AS     bsub
@AS     devss
@AS     ldc     0x55
@AS     ldl     S_BASE
@A      ldc     0x554
@S      ldc     0x5554
@AS     bsub
@AS     devss
@AS     ldl     1
@AS     ldl     2
@AS     devss
@AS     ret

; issue: an Intel command of two cycles at ADDR: A the first (0x40 program, 0x20 erase, 0x60
; clear lock bits), B the second (the value, or 0xD0). A C3 (device 0x88C0..0x88CF) has its
; block unlocked first with 0x60, 0xD0: its blocks come out of power-up and reset locked, and an
; unlock does nothing to a block locked down while WP# is low, whose command then fails with
; SR1 (locked). The agent never locks a block again. No other chip is sent 0x60 here: a B3 has
; no lock commands, and a J3 takes 0x60, 0xD0 as "clear every lock bit" (see dispatch).
@I issue: ldlp  S_MB_RES2
@I      devlw
@I      ldc     4
@I      shr
@I      eqc     0x88C
@I      cj      iss2
@I      ldc     0x60
@I      ldl     S_ADDR
@I      devss
@I      ldc     0xD0
@I      ldl     S_ADDR
@I      devss
@I iss2: ldl    1
@I      ldl     S_ADDR
@I      devss
@I      ldl     2
@I      ldl     S_ADDR
@I      devss
@I      ret

; Program: +12 bytes from the buffer at +8 to the flash at +4, one half-word at a time; a byte
; lane outside the range is written as 0xFF, which leaves that flash byte as it is.
program:
        ldlp    MB_LEN
        devlw
        stl     LEN
        ldc     4097
        ldl     LEN
        gtu
        cj      badcall
        ldl     ADDR            ; the half-word holding the first byte
        ldc     -2
        and
        stl     ADDR
ploop:  ldl     LEN             ; done when the low byte's index reaches the length
        ldl     ADDR
        ldlp    MB_ADDR
        devlw
        diff
        gt
        cj      done
        ldl     ADDR
        call    lane
        stl     MASK
        stl     VAL
        ldc     1
        ldl     ADDR
        bsub
        call    lane
        ldc     8
        shl
        ldl     MASK
        or
        stl     MASK
        ldc     8
        shl
        ldl     VAL
        or
        ldl     MASK
        or
@AS     stl     VAL
@AS     ldc     0xA0            ; AMD: unlock 0xA0
@AS     call    cmd
@AS     ldl     VAL
@AS     ldl     ADDR
@AS     devss
@I      ldc     0x40            ; Intel: 0x40, the value
@I      call    issue
        ldc     T_PROGRAM
        call    wait
        ldc     2
        ldl     ADDR
        bsub
        stl     ADDR
        j       ploop

; wait: until the chip has finished the operation at ADDR, then check it. A = the time limit
; (log2 of microseconds of the high-priority clock, read with ldclock so the limit is the same
; at either priority). Frame: W+8 the status read, W+12 the start time. Returns when the word at
; ADDR (lanes in MASK ignored) reads VAL; otherwise leaves the call through fail. Each check
; pushes its reason first and jumps to wfail with A = 0 above it.
wait:   ldc     0
        ldclock
        stl     3
wloop:  ldlp    S_MB            ; the host asked to stop: no reason
        devlw
        eqc     ST_STOP
        eqc     0
        cj      wstop
        ldc     R_TIMEOUT       ; 2^A microseconds have passed
        ldc     0
        ldclock
        ldl     3
        diff
        ldl     1
        shr
        eqc     0
        cj      wfail
@I      ldl     S_ADDR          ; Intel: status register, SR7 ready
@I      devls
@I      dup
@I      stl     2
@I      ldc     0x80
@I      and
@I      cj      wloop
@I      ldc     0xFF            ; back to reading the array
@I      ldl     S_ADDR
@I      devss
@I      ldl     2               ; SR5 erase (and clear lock bits), SR4 program, SR3 Vpp, SR1
@I      ldc     0x3A            ; locked: none set is done (the chip has verified the data)
@I      and
@I      cj      wok
@I      ldc     1               ; R_FAILED, or R_PROTECTED (1 << 2) when SR1 is set
@I      ldl     2
@I      ldc     2
@I      and
@I      shl
@I      ldc     0
@AS     ldl     S_ADDR          ; AMD: DQ6 toggles while busy
@AS     devls
@AS     dup
@AS     ldl     S_ADDR
@AS     devls
@AS     xor
@AS     ldc     0x40
@AS     and
@AS     cj      wcheck
@AS     ldc     0x20            ; still busy: DQ5 is the chip's own time-out
@AS     and
@AS     cj      wloop
@AS     j       wbad
@AS wcheck: ldl S_ADDR          ; (word | MASK) against VAL
@AS     devls
@AS     ldl     S_MASK
@AS     or
@AS     ldl     S_VAL
@AS     diff
@AS     cj      wok
@AS wbad: ldc   R_FAILED
@AS     ldc     0
wfail:  diff                    ; the reason below the 0
wstop:  ajw     4               ; A = the reason, 0 for a stop
        stl     MASK
        j       fail
wok:    ret

; lane: A = a flash byte address. Returns A = 0xFF when it lies outside the range being
; programmed (else 0), B = its byte from the buffer. (The byte is read either way; outside the
; range that is one byte beside the buffer.)
lane:   ldl     1               ; index into the buffer
        ldlp    S_MB_ADDR
        devlw
        diff
        stl     1
        ldl     1
        ldlp    S_MB_SRC
        devlw
        bsub
        devlb
        ldl     S_LEN
        ldl     1
        gtu
        eqc     0
        ldc     0xFF
        prod
        ret

IMAGE_END:
LOW_WATER = 0x200 - 4 * FRAME - 16
CODE_FITS = 1 / (1 + ((LOW_WATER - IMAGE_END) >> 31))  ; division by zero: the code reaches the workspace
