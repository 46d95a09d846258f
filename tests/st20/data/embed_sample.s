; Assembled and embedded at build time by tapster_st20_image and tapster_st20_embed.
entry:  ldc table - here
        ldpi
here:   j entry
table:  .word 0x11223344
