# Writes the source of one flash agent image from fl4_trap.s. A line starting with a tag of one
# to three family letters and a blank belongs to the images it names: "@A" the AMD/JEDEC image,
# "@I" the Intel/Sharp image, "@S" the SST image, "@AS" both JEDEC images, "@AI" the AMD and
# Intel ones. The other images' lines become empty lines, so the assembler's line numbers are
# those of fl4_trap.s.
# Run as: cmake -DIN=fl4_trap.s -DOUT=out.s -DFAMILY=A|I|S -P fl4_trap_variant.cmake
if(NOT FAMILY MATCHES "^[AIS]$")
  message(FATAL_ERROR "fl4_trap_variant: FAMILY must be A, I or S, not '${FAMILY}'")
endif()
file(READ "${IN}" text)
foreach(tag A I S AI AS IS AIS)
  string(FIND "${tag}" "${FAMILY}" at)
  if(at EQUAL -1)
    string(REGEX REPLACE "\n@${tag}[ \t][^\n]*" "\n" text "${text}")
  else()
    string(REGEX REPLACE "\n@${tag}([ \t])" "\n   \\1" text "${text}")
  endif()
endforeach()
if(text MATCHES "\n@")
  message(FATAL_ERROR "fl4_trap_variant: ${IN} has a line tagged other than with A, I or S")
endif()
file(WRITE "${OUT}.tmp" "${text}")
file(RENAME "${OUT}.tmp" "${OUT}")
