# Installs the build into a scratch prefix, then builds and runs a consumer twice: with CMake
# (find_package) and with pkg-config. Each prints its trace result and draws a PNG, which must
# be a PNG file that cairo reads back as drawn.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
  RESULT_VARIABLE status OUTPUT_QUIET)
if(status)
  message(FATAL_ERROR "install failed: ${status}")
endif()

# The licence travels with the installed copy, its identifier in the pkg-config files.
file(READ ${WORK_DIR}/prefix/${LIBDIR}/pkgconfig/quillet.pc pc_file)
if(NOT EXISTS ${WORK_DIR}/prefix/share/doc/Quillet/LICENSE OR NOT pc_file MATCHES "\nLicense: MIT\n")
  message(FATAL_ERROR "the installed copy lacks its licence or its SPDX identifier")
endif()

function(check_consumer program png)
  execute_process(COMMAND ${program} ${png} RESULT_VARIABLE status OUTPUT_VARIABLE output)
  set(expected "0 CODE39W\nthe check digit should be 1, not 0\npng 240x120 with bars\n")
  if(NOT status EQUAL 0 OR NOT output STREQUAL expected)
    message(FATAL_ERROR "${program} printed '${output}' with status ${status}")
  endif()
  file(READ ${png} signature LIMIT 8 HEX)
  if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${png} does not start as a PNG file: ${signature}")
  endif()
endfunction()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer
    -B ${WORK_DIR}/consumer -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX}
    -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix
  RESULT_VARIABLE status)
if(status)
  message(FATAL_ERROR "consumer configure failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer RESULT_VARIABLE status)
if(status)
  message(FATAL_ERROR "consumer build failed: ${status}")
endif()
check_consumer(${WORK_DIR}/consumer/consumer ${WORK_DIR}/cmake.png)

# The same program built from what pkg-config says.
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${WORK_DIR}/prefix/${LIBDIR}/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs quillet-assist quillet-recording quillet-cairo
  RESULT_VARIABLE status OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
if(status)
  message(FATAL_ERROR "pkg-config does not find the installed packages: ${status}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
execute_process(COMMAND ${CXX} -std=c++20 ${SOURCE_DIR}/tests/install/consumer/main.cpp ${flags}
    -o ${WORK_DIR}/pkg-config-consumer
  RESULT_VARIABLE status)
if(status)
  message(FATAL_ERROR "pkg-config consumer build failed: ${status}")
endif()
check_consumer(${WORK_DIR}/pkg-config-consumer ${WORK_DIR}/pkg-config.png)
