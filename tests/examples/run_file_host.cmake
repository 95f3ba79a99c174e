# Streams the sample terrain with file_host, through the host kit's reader
# and through the example's own blocking data source.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${MAKE_SAMPLE} ${WORK_DIR}/sample.tzm 3 RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cannot write the sample model")
endif()
foreach(mode "" "--blocking")
  execute_process(COMMAND ${FILE_HOST} ${mode} ${WORK_DIR}/sample.tzm
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(FIND "${out}" "file_host done" done)
  string(FIND "${out}" "Status: Fully initialized" initialized)
  if(NOT result EQUAL 0 OR done EQUAL -1 OR initialized EQUAL -1)
    message(FATAL_ERROR "file_host ${mode} failed (${result}):\n${out}\n${err}")
  endif()
endforeach()
