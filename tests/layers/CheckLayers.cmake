# Builds each wrong-include case and passes only when every one fails because
# its header is not found (not for any other reason).
#   cmake -DBINARY_DIR=<build> -DCASES=<target:header|...> -P CheckLayers.cmake
string(REPLACE "|" ";" cases "${CASES}")
foreach(item ${cases})
  string(REPLACE ":" ";" parts "${item}")
  list(GET parts 0 target)
  list(GET parts 1 header)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target ${target}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REPLACE "." "\\." pattern "${header}")
  if(rc EQUAL 0)
    message(SEND_ERROR "${target}: ${header} compiled, but its layer must not see it")
  elseif(NOT out MATCHES "${pattern}'? ?(: No such file|file not found)")
    message(SEND_ERROR "${target} failed for another reason than ${header} not found:\n${out}")
  else()
    message(STATUS "${target}: ${header} not found, as it should be")
  endif()
endforeach()
