# A manual page for every program, made at build time by help2man from the program's own --help,
# so the page says what the program does today. packaging/man/NAME.h2m adds the sections --help
# has no room for (files, environment, see also). Needs the host to run the programs, so not in a
# cross build, and not in the sanitizer and fuzzing trees, which are never packaged.
option(TAPSTER_MAN_PAGES "Make the manual pages with help2man" ON)
if(NOT TAPSTER_MAN_PAGES OR CMAKE_CROSSCOMPILING OR TAPSTER_SANITIZE OR TAPSTER_FUZZ)
  return()
endif()
find_program(TAPSTER_HELP2MAN help2man)
if(NOT TAPSTER_HELP2MAN OR NOT TAPSTER_GZIP)
  message(WARNING "help2man or gzip not found: no manual pages (scripts/bootstrap.sh installs them)")
  return()
endif()

set(man_dir ${CMAKE_BINARY_DIR}/man)
set(man_pages "")
# What each page's NAME line says.
set(man_name_tapcheck "the Tapster window: JTAG service for ST20 set-top-box boards")
set(man_name_tapcheck-cli "the Tapster window's commands without a display")
set(man_name_tapcheck-board "the simulated ST20 board served over OpenOCD's remote_bitbang protocol")
set(man_name_tapster-launch "start the Tapster window in the per-user start directory")
set(man_name_st20asm "ST20-C2 assembler")
set(man_name_st20dis "ST20-C2 disassembler")

# tapster_man_page(NAME PROGRAM DEPENDENCY): NAME.1.gz from `PROGRAM --help`; DEPENDENCY is the
# target or file that makes PROGRAM.
function(tapster_man_page name program dependency)
  set(include_args --include=${PROJECT_SOURCE_DIR}/packaging/man/common.h2m)
  set(depends ${PROJECT_SOURCE_DIR}/packaging/man/common.h2m)
  if(EXISTS ${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m)
    list(PREPEND include_args --include=${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m)
    list(APPEND depends ${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m)
  endif()
  set(title "${man_name_${name}}")
  if(NOT title)
    set(title "a Tapster program")
  endif()
  add_custom_command(
    OUTPUT ${man_dir}/${name}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND ${TAPSTER_HELP2MAN} --no-info --section=1 --source=Tapster
            --version-string=${PROJECT_VERSION} "--name=${title}" ${include_args}
            --output=${man_dir}/${name}.1 ${program}
    COMMAND ${TAPSTER_GZIP} -9nf ${man_dir}/${name}.1
    DEPENDS ${dependency} ${depends}
    COMMENT "Manual page ${name}(1)"
    VERBATIM)
  set(man_pages ${man_pages} ${man_dir}/${name}.1.gz PARENT_SCOPE)
endfunction()

foreach(program ${TAPSTER_INSTALLED_PROGRAMS})
  tapster_man_page(${program} $<TARGET_FILE:${program}> ${program})
endforeach()
if(TARGET tapcheck)
  tapster_man_page(tapster-launch ${CMAKE_BINARY_DIR}/packaging/tapster-launch
                   ${PROJECT_SOURCE_DIR}/packaging/tapster-launch.in)
endif()

add_custom_target(tapster_man_pages ALL DEPENDS ${man_pages})
add_dependencies(tapster_installables tapster_man_pages)
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
