# Writes the placeholder trap routine image fl4_trap.bin: 484 bytes of a recognisable,
# deterministic pattern. It is not target code; the simulated board runs its agent whenever a trap
# slot points at a loaded routine, whatever the bytes. Called with -DOUT=path.
set(text "TAPSTER PLACEHOLDER AGENT IMAGE - NOT TARGET CODE - ")
set(image "")
set(i 0)
# The header text, then printable bytes counting 0x21..0x7E: no NUL, no byte above 0x7F, so the
# file is written byte for byte on every platform.
string(LENGTH "${text}" header)
string(APPEND image "${text}")
math(EXPR rest "484 - ${header}")
while(i LESS rest)
  math(EXPR code "33 + (${i} % 94)")
  string(ASCII ${code} ch)
  string(APPEND image "${ch}")
  math(EXPR i "${i} + 1")
endwhile()
string(LENGTH "${image}" size)
if(NOT size EQUAL 484)
  message(FATAL_ERROR "placeholder agent image has ${size} bytes, not 484")
endif()
file(WRITE "${OUT}" "${image}")
