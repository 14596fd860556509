# Installs the build into a scratch prefix, then configures, builds and runs a consumer.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
  RESULT_VARIABLE status OUTPUT_QUIET)
if(status)
  message(FATAL_ERROR "install failed: ${status}")
endif()
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
execute_process(COMMAND ${WORK_DIR}/consumer/consumer RESULT_VARIABLE status
  OUTPUT_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output STREQUAL "0 CODE39W\n")
  message(FATAL_ERROR "consumer printed '${output}' with status ${status}")
endif()
