# The packages `cpack` makes from the install rules: on Linux the Debian package
# tapster_VERSION_amd64.deb (scripts/package.sh builds and checks it). The Windows zip is made by
# scripts/windows-build.sh from `cmake --install` directly.
set(CPACK_PACKAGE_NAME tapster)
set(CPACK_PACKAGE_VENDOR "Tapster developers")
set(CPACK_PACKAGE_CONTACT "Tapster developers <tapster@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "JTAG service tool for ST20 set-top-box boards")
# Debian shows the description in 80 columns: lines of at most 72 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Tapster brings up and services set-top-box boards built around an
ST20-core processor (STi5510, STi5512) through a passive JTAG cable on
the PC's parallel port. It reads and writes target memory, surveys and
installs trap handlers, dumps the internal ROM and programs flash
through an agent routine running in target RAM.

The package holds the window tapcheck, the same commands without a
display (tapcheck-cli), a simulated board served over OpenOCD's
remote_bitbang protocol (tapcheck-board), an ST20 assembler and
disassembler (st20asm, st20dis), menu entries for a real cable and for
the built-in simulated board, and the manual pages.")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git" "/build[^/]*/" "/\\\\.cache/")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "tapster-${PROJECT_VERSION}-win64")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tapster_VERSION_ARCH.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Runtime dependencies from the libraries the programs link (dpkg-shlibdeps, from dpkg-dev).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
endif()

include(CPack)
