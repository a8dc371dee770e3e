# cmake -DSIM=... -DSCENARIO=... -P expect_failure.cmake
# Passes only when kv7946-sim fails on the scenario and prints the line its
# first line names: # kv7946-sim must fail: "TEXT"
execute_process(COMMAND ${SIM} ${SCENARIO} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
file(STRINGS ${SCENARIO} first LIMIT_COUNT 1)
string(REGEX REPLACE "^# kv7946-sim must fail: \"(.*)\"$" "\\1" wanted "${first}")
if(wanted STREQUAL first)
  message(FATAL_ERROR "${SCENARIO}: its first line does not say what must fail")
endif()
if(rc EQUAL 0)
  message(FATAL_ERROR "kv7946-sim passed ${SCENARIO}:\n${out}")
endif()
string(FIND "${out}" "${wanted}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "kv7946-sim failed (${rc}) without printing\n  ${wanted}\n${out}${err}")
endif()
message(STATUS "kv7946-sim failed as it must (${rc}): ${wanted}")
