# Target code built from source at build time.
#
#   tapster_st20_image(NAME <target> SOURCE <file.s> OUTPUT <file.bin> [LISTING <file.lst>]
#                      [MAX_SIZE <n>] [BASE <addr>])
# assembles SOURCE with the project's st20asm into the raw image OUTPUT (and the listing) under
# the custom target NAME, built by default. The build fails on any assembly error and when the
# image is larger than MAX_SIZE bytes. Relative SOURCE paths are taken from the current source
# directory, relative OUTPUT and LISTING paths from the current binary directory.
#
#   tapster_st20_embed(TARGET <library> IMAGE <image target or file.bin> SYMBOL <name>
#                      [NAMESPACE <ns>] [HEADER <name.h>])
# compiles the image into TARGET as a byte array. The generated header (HEADER, by default
# <name>.h, on TARGET's public include path) declares
#   extern const uint8_t <name>[];  extern const std::size_t <name>Size;
#   std::span<const uint8_t> <name>Bytes();
# in namespace NAMESPACE (default tapster). The array is rewritten whenever the image changes.
#
# Cross builds run st20asm through CMAKE_CROSSCOMPILING_EMULATOR (wine for the mingw build). A
# cross build without an emulator needs a host st20asm: -DTAPSTER_HOST_ST20ASM=/path/to/st20asm.
#
# Run as a script (cmake -P) with TAPSTER_EMBED_INPUT set, this file writes the array's source.

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED TAPSTER_EMBED_INPUT)
  file(READ "${TAPSTER_EMBED_INPUT}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Sixteen bytes to a line.
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  if(size EQUAL 0)
    set(bytes "0") # an array needs one element; the size says 0
  endif()
  file(WRITE "${TAPSTER_EMBED_OUTPUT}.tmp"
       "// Generated from ${TAPSTER_EMBED_INPUT} by St20Image.cmake; do not edit.\n"
       "#include \"${TAPSTER_EMBED_HEADER}\"\n\n"
       "namespace ${TAPSTER_EMBED_NAMESPACE} {\n\n"
       "extern const uint8_t ${TAPSTER_EMBED_SYMBOL}[] = {\n    ${bytes}\n};\n"
       "extern const std::size_t ${TAPSTER_EMBED_SYMBOL}Size = ${size};\n\n"
       "} // namespace ${TAPSTER_EMBED_NAMESPACE}\n")
  file(RENAME "${TAPSTER_EMBED_OUTPUT}.tmp" "${TAPSTER_EMBED_OUTPUT}")
  return()
endif()

set(TAPSTER_ST20_IMAGE_MODULE "${CMAKE_CURRENT_LIST_FILE}")
set(TAPSTER_HOST_ST20ASM "" CACHE FILEPATH
    "st20asm that runs on the build machine (cross builds without an emulator)")

function(tapster_st20_image)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "NAME;SOURCE;OUTPUT;LISTING;MAX_SIZE;BASE" "")
  foreach(required NAME SOURCE OUTPUT)
    if(NOT ARG_${required})
      message(FATAL_ERROR "tapster_st20_image: ${required} is required")
    endif()
  endforeach()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tapster_st20_image: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(source "${ARG_SOURCE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(output "${ARG_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  set(outputs "${output}")
  set(options -o "${output}")
  if(ARG_LISTING)
    get_filename_component(listing "${ARG_LISTING}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    list(APPEND outputs "${listing}")
    list(APPEND options -l "${listing}")
  endif()
  if(DEFINED ARG_MAX_SIZE)
    list(APPEND options --max-size "${ARG_MAX_SIZE}")
  endif()
  if(DEFINED ARG_BASE)
    list(APPEND options --base "${ARG_BASE}")
  endif()

  # The built st20asm; a cross build runs it through the emulator, which add_custom_command puts
  # in front of an executable target by itself.
  if(TAPSTER_HOST_ST20ASM)
    set(tool "${TAPSTER_HOST_ST20ASM}")
    set(tool_dependency "${TAPSTER_HOST_ST20ASM}")
  elseif(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "tapster_st20_image: a cross build needs CMAKE_CROSSCOMPILING_EMULATOR "
                        "or -DTAPSTER_HOST_ST20ASM=<st20asm built for this machine>")
  else()
    set(tool st20asm)
    set(tool_dependency st20asm)
  endif()

  get_filename_component(output_dir "${output}" DIRECTORY)
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory "${output_dir}"
    COMMAND ${tool} ${options} "${source}"
    DEPENDS "${source}" ${tool_dependency}
    COMMENT "Assembling ${ARG_SOURCE}"
    VERBATIM)
  add_custom_target(${ARG_NAME} ALL DEPENDS ${outputs})
  set_target_properties(${ARG_NAME} PROPERTIES TAPSTER_ST20_IMAGE_FILE "${output}")
endfunction()

function(tapster_st20_embed)
  cmake_parse_arguments(PARSE_ARGV 0 ARG "" "TARGET;IMAGE;SYMBOL;NAMESPACE;HEADER" "")
  foreach(required TARGET IMAGE SYMBOL)
    if(NOT ARG_${required})
      message(FATAL_ERROR "tapster_st20_embed: ${required} is required")
    endif()
  endforeach()
  if(NOT ARG_NAMESPACE)
    set(ARG_NAMESPACE tapster)
  endif()
  if(NOT ARG_HEADER)
    set(ARG_HEADER "${ARG_SYMBOL}.h")
  endif()
  if(TARGET ${ARG_IMAGE})
    get_target_property(image ${ARG_IMAGE} TAPSTER_ST20_IMAGE_FILE)
    if(NOT image)
      message(FATAL_ERROR "tapster_st20_embed: ${ARG_IMAGE} is not a tapster_st20_image target")
    endif()
    set(image_target ${ARG_IMAGE})
  else()
    get_filename_component(image "${ARG_IMAGE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    set(image_target "")
  endif()

  set(dir "${CMAKE_CURRENT_BINARY_DIR}/st20_embed/${ARG_TARGET}")
  set(header "${dir}/${ARG_HEADER}")
  set(source "${dir}/${ARG_SYMBOL}.cpp")
  file(CONFIGURE OUTPUT "${header}" CONTENT
"// Generated by St20Image.cmake; do not edit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace @ARG_NAMESPACE@ {

extern const uint8_t @ARG_SYMBOL@[];
extern const std::size_t @ARG_SYMBOL@Size;
inline std::span<const uint8_t> @ARG_SYMBOL@Bytes() {
    return {@ARG_SYMBOL@, @ARG_SYMBOL@Size};
}

} // namespace @ARG_NAMESPACE@
" @ONLY)
  add_custom_command(
    OUTPUT "${source}"
    COMMAND ${CMAKE_COMMAND} -DTAPSTER_EMBED_INPUT=${image} -DTAPSTER_EMBED_OUTPUT=${source}
            -DTAPSTER_EMBED_HEADER=${ARG_HEADER} -DTAPSTER_EMBED_SYMBOL=${ARG_SYMBOL}
            -DTAPSTER_EMBED_NAMESPACE=${ARG_NAMESPACE} -P "${TAPSTER_ST20_IMAGE_MODULE}"
    DEPENDS "${image}" "${TAPSTER_ST20_IMAGE_MODULE}" ${image_target}
    COMMENT "Embedding ${ARG_SYMBOL} from ${image}"
    VERBATIM)
  target_sources(${ARG_TARGET} PRIVATE "${source}")
  target_include_directories(${ARG_TARGET} PUBLIC "${dir}")
  if(image_target)
    add_dependencies(${ARG_TARGET} ${image_target})
  endif()
endfunction()
