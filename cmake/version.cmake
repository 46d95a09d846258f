# The version line every program prints for --version: the project's version, and the commit when
# the sources are a git checkout of this project (a tarball, or a copy inside some other
# repository, has none). Generates ${CMAKE_BINARY_DIR}/generated/tapster_version.h and offers it
# as the interface library tapster_version.
set(TAPSTER_GIT_COMMIT "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE git_top OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_failed ERROR_QUIET)
  if(NOT git_failed)
    file(REAL_PATH "${git_top}" git_top)
    file(REAL_PATH "${PROJECT_SOURCE_DIR}" source_top)
  endif()
  if(NOT git_failed AND git_top STREQUAL source_top)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE TAPSTER_GIT_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_failed ERROR_QUIET)
    if(git_failed)
      set(TAPSTER_GIT_COMMIT "")
    endif()
    # A new commit or another branch checked out configures again, so the line stays true.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --symbolic-full-name HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE git_ref OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    foreach(name HEAD packed-refs ${git_ref})
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${name}
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                      OUTPUT_VARIABLE git_file OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(git_file)
        get_filename_component(git_file "${git_file}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
        if(EXISTS "${git_file}")
          set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_file}")
        endif()
      endif()
    endforeach()
  endif()
endif()

set(TAPSTER_VERSION_TEXT "${PROJECT_VERSION}")
if(TAPSTER_GIT_COMMIT)
  string(APPEND TAPSTER_VERSION_TEXT " (git ${TAPSTER_GIT_COMMIT})")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/tapster_version.h.in
               ${CMAKE_BINARY_DIR}/generated/tapster_version.h @ONLY)

add_library(tapster_version INTERFACE)
target_include_directories(tapster_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# Every program links it; called after the programs' directories are added.
function(tapster_link_version)
  foreach(program ${ARGN})
    if(TARGET ${program})
      target_link_libraries(${program} PRIVATE tapster_version)
    endif()
  endforeach()
endfunction()

# Every program's --version line, checked by CTest (host builds only: the programs must run here).
function(tapster_test_version_lines)
  if(NOT TAPSTER_TESTS OR CMAKE_CROSSCOMPILING)
    return()
  endif()
  foreach(program ${ARGN})
    if(TARGET ${program})
      add_test(NAME version_line_${program}
               COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}> -DNAME=${program}
                       "-DEXPECTED=${TAPSTER_VERSION_TEXT}"
                       -P ${PROJECT_SOURCE_DIR}/cmake/check_version_line.cmake)
    endif()
  endforeach()
endfunction()
