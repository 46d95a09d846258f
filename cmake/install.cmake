# What `cmake --install` puts where. The programs keep working in their start directory (where
# fl4_trap.bin is read and intRom.bin written); the installed agent images are the copies a user
# starts from.
#
# Linux (prefix /usr in the package):
#   bin/                          the programs and tapster-launch
#   share/tapster/                fl4_trap*.bin as the build makes them
#   share/doc/tapster/            README.md, docs/*.md, copyright, changelog.gz
#   share/applications/           the menu entries; share/icons/hicolor/scalable/apps/ the icon
#   share/man/man1/               a page for each program (help2man, from its --help)
# Windows (the zip): one folder holding the programs and the agent image side by side, so the
# folder itself is the start directory; README.md and docs/ beside them.
include(GNUInstallDirs)

if(WIN32)
  set(TAPSTER_INSTALL_BINDIR .)
  set(TAPSTER_INSTALL_AGENTDIR .)
  set(TAPSTER_INSTALL_DOCDIR .)
else()
  set(TAPSTER_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(TAPSTER_INSTALL_AGENTDIR ${CMAKE_INSTALL_DATADIR}/tapster)
  set(TAPSTER_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tapster)
endif()
# Directories made by the install are 755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(TAPSTER_INSTALLED_PROGRAMS "")
foreach(program ${TAPSTER_PROGRAMS})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${TAPSTER_INSTALL_BINDIR})
    list(APPEND TAPSTER_INSTALLED_PROGRAMS ${program})
  endif()
endforeach()

# Everything the install rules take from the build, as one target: `cmake --build B --target
# tapster_installables` then `cmake --install B` works in a tree built only in part.
add_custom_target(tapster_installables)
if(TAPSTER_INSTALLED_PROGRAMS)
  add_dependencies(tapster_installables ${TAPSTER_INSTALLED_PROGRAMS})
endif()
if(TARGET flash_agent)
  add_dependencies(tapster_installables flash_agent)
endif()

# The agent images are assembled at build time into the simulated start directory (src/agent):
# every fl4_trap*.bin found there at install time.
if(NOT TAPSTER_SIM_DIR)
  set(TAPSTER_SIM_DIR ${CMAKE_BINARY_DIR}/sim)
endif()
install(CODE "
  file(GLOB tapster_agent_images \"${TAPSTER_SIM_DIR}/fl4_trap*.bin\")
  if(NOT tapster_agent_images)
    message(FATAL_ERROR \"no agent image fl4_trap*.bin in ${TAPSTER_SIM_DIR}: build first\")
  endif()
  file(INSTALL \${tapster_agent_images} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${TAPSTER_INSTALL_AGENTDIR}\"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)")

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${TAPSTER_INSTALL_DOCDIR})
file(GLOB TAPSTER_DOCS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${TAPSTER_DOCS} DESTINATION ${TAPSTER_INSTALL_DOCDIR}/docs)

if(WIN32)
  # A double-click starts the window on the simulated board.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/tapcheck-simulated.cmd DESTINATION .)
  return()
endif()

# The FTDI cable: access for the logged-in user to the common FTDI JTAG cables.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/60-tapster-ftdi.rules
          DESTINATION lib/udev/rules.d)
endif()

# The menu start: tapster-launch makes the per-user start directory and starts the window there.
configure_file(${PROJECT_SOURCE_DIR}/packaging/tapster-launch.in
               ${CMAKE_BINARY_DIR}/packaging/tapster-launch @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
if(TARGET tapcheck)
  if(TAPSTER_TESTS)
    add_test(NAME version_line_tapster-launch
             COMMAND ${CMAKE_COMMAND} -DPROGRAM=${CMAKE_BINARY_DIR}/packaging/tapster-launch
                     -DNAME=tapster-launch "-DEXPECTED=${TAPSTER_VERSION_TEXT}"
                     -P ${PROJECT_SOURCE_DIR}/cmake/check_version_line.cmake)
  endif()
  install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/tapster-launch DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tapster.desktop
                ${PROJECT_SOURCE_DIR}/packaging/tapster-simulated.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tapster.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Debian's documentation files: the copyright notice and the changelog, compressed as Debian
# wants it (gzip -9n: no name or time stamp inside, so the package builds the same every time).
find_program(TAPSTER_GZIP gzip)
set(doc_out ${CMAKE_BINARY_DIR}/packaging)
if(TAPSTER_GZIP)
  add_custom_command(
    OUTPUT ${doc_out}/changelog.gz
    COMMAND ${TAPSTER_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${doc_out}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    COMMENT "Compressing the changelog")
  add_custom_target(tapster_changelog ALL DEPENDS ${doc_out}/changelog.gz)
  add_dependencies(tapster_installables tapster_changelog)
  install(FILES ${doc_out}/changelog.gz DESTINATION ${TAPSTER_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${TAPSTER_INSTALL_DOCDIR})
# The changelog's newest entry names the version this tree builds.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^tapster \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/changelog starts with '${changelog_top}', not version ${PROJECT_VERSION}")
endif()

include(cmake/man_pages.cmake)
