# Writes the source of one flash agent image from fl4_trap.s: lines starting with "@A" belong
# to the AMD/JEDEC image, "@I" to the Intel/Sharp image. The other family's lines become empty
# lines, so the assembler's line numbers are those of fl4_trap.s.
# Run as: cmake -DIN=fl4_trap.s -DOUT=out.s -DFAMILY=A|I -P fl4_trap_variant.cmake
if(NOT FAMILY STREQUAL "A" AND NOT FAMILY STREQUAL "I")
  message(FATAL_ERROR "fl4_trap_variant: FAMILY must be A or I, not '${FAMILY}'")
endif()
if(FAMILY STREQUAL "A")
  set(other "I")
else()
  set(other "A")
endif()
file(READ "${IN}" text)
string(REGEX REPLACE "\n@${other}[^\n]*" "\n" text "${text}")
string(REGEX REPLACE "\n@${FAMILY}" "\n  " text "${text}")
if(text MATCHES "\n@")
  message(FATAL_ERROR "fl4_trap_variant: ${IN} has a line tagged other than @A or @I")
endif()
file(WRITE "${OUT}.tmp" "${text}")
file(RENAME "${OUT}.tmp" "${OUT}")
