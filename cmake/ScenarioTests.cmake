# kestrel_add_scenario_tests(LABEL ENVIRONMENT SCENARIO...): one ctest test LABEL.SCENARIO per scenario,
# each running `bash scenarios.sh SCENARIO` from the calling directory with the given environment
# (a ;-separated list of NAME=VALUE, KESTREL_BIN included by the caller) and a 240 s limit. Without
# KESTREL_SCENARIO_TESTS (the sanitizer build, whose programs are not the ones users run) they are
# registered disabled: ctest lists them as not run.
function(kestrel_add_scenario_tests label environment)
  foreach(scenario ${ARGN})
    add_test(NAME ${label}.${scenario}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scenarios.sh ${scenario})
    set_tests_properties(${label}.${scenario} PROPERTIES
      LABELS ${label}
      TIMEOUT 240
      ENVIRONMENT "${environment}")
    if(NOT KESTREL_SCENARIO_TESTS)
      set_tests_properties(${label}.${scenario} PROPERTIES DISABLED TRUE)
    endif()
  endforeach()
endfunction()
