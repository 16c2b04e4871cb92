# Runs `zmcam list` and checks what it prints and how it ends:
#   cmake -DZMCAM=<program> -DEXPECTED_CAMERAS=<n> [-DEXPECTED_ERROR=<text>] -P test_zmcam_list.cmake
execute_process(COMMAND ${ZMCAM} list RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 60)
# A reported error is a failure of the command; without one the command succeeds.
if(DEFINED EXPECTED_ERROR AND status EQUAL 0)
  message(FATAL_ERROR "zmcam list reported an error but ended with status 0\n${err}")
elseif(NOT DEFINED EXPECTED_ERROR AND NOT status EQUAL 0)
  message(FATAL_ERROR "zmcam list ended with ${status}\n${err}")
endif()
string(REGEX MATCHALL "[0-9]+\t[^\n]+\n" lines "${out}")
list(LENGTH lines count)
if(NOT count EQUAL EXPECTED_CAMERAS)
  message(FATAL_ERROR "expected ${EXPECTED_CAMERAS} cameras, zmcam listed ${count}:\n${out}\n${err}")
endif()
if(DEFINED EXPECTED_ERROR)
  string(FIND "${err}" "${EXPECTED_ERROR}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "standard error does not say '${EXPECTED_ERROR}':\n${err}")
  endif()
endif()
