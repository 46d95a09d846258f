# CTest check: `PROGRAM --version` prints exactly "NAME VERSION" or "NAME VERSION (git COMMIT)" on
# one line, exits 0, and names the version and commit this tree was configured with.
#   cmake -DPROGRAM=path -DNAME=name -DEXPECTED="0.1 (git abc1234)" -P check_version_line.cmake
execute_process(COMMAND ${PROGRAM} --version RESULT_VARIABLE code OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "${NAME} --version exited with ${code}: ${err}")
endif()
if(NOT out STREQUAL "${NAME} ${EXPECTED}\n")
  message(FATAL_ERROR "${NAME} --version printed '${out}', expected '${NAME} ${EXPECTED}'")
endif()
if(NOT out MATCHES "^[a-z0-9-]+ [0-9]+(\\.[0-9]+)+( \\(git [0-9a-f]+\\))?\n$")
  message(FATAL_ERROR "${NAME} --version line '${out}' is not 'NAME VERSION (git COMMIT)'")
endif()
