# Included by CTest when it reads the tests of a directory (TEST_INCLUDE_FILES, written by
# mk_add_test): lists the suites of one GoogleTest executable and registers one CTest test per
# suite, named "<executable>.<suite>" and run as `exe --gtest_filter=<suite>.*`. One process per suite instead of one per case keeps
# the start-up of a process (and of a QApplication) from dominating the suite's time, while a
# failure still names its suite and CTest still spreads the suites over the cores. The list is
# made again only when the executable (or this file) is newer than it.
set(mk_suites_script "${CMAKE_CURRENT_LIST_FILE}")

function(mk_register_suites name exe label env out)
  if(NOT EXISTS "${exe}")
    # Not built yet: one test that fails and says so, rather than no test at all.
    add_test("${name}_NOT_BUILT" "${exe}")
    return()
  endif()
  if(NOT EXISTS "${out}" OR "${exe}" IS_NEWER_THAN "${out}" OR
     "${mk_suites_script}" IS_NEWER_THAN "${out}")
    foreach(pair IN LISTS env)
      if(pair MATCHES "^([^=]+)=(.*)$")
        set(ENV{${CMAKE_MATCH_1}} "${CMAKE_MATCH_2}")
      endif()
    endforeach()
    execute_process(COMMAND "${exe}" --gtest_list_tests
                    OUTPUT_VARIABLE listing RESULT_VARIABLE result TIMEOUT 60)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${exe} --gtest_list_tests failed (${result}):\n${listing}")
    endif()
    string(REPLACE "\n" ";" lines "${listing}")
    set(script "")
    foreach(line IN LISTS lines)
      # Suite lines start in the first column and end in "." (a typed or parameterised suite
      # adds "  # TypeParam = ..." after it); the case lines below them are indented.
      if(line MATCHES "^([^ #][^ ]*)\\.( .*)?$")
        set(suite "${CMAKE_MATCH_1}")
        if(suite MATCHES "^DISABLED_")
          continue()
        endif()
        string(APPEND script
          "add_test([=[${name}.${suite}]=] [=[${exe}]=] [=[--gtest_filter=${suite}.*]=])\n"
          "set_tests_properties([=[${name}.${suite}]=] PROPERTIES LABELS [=[${label}]=] "
          "ENVIRONMENT [=[${env}]=] SKIP_RETURN_CODE 77)\n")
      endif()
    endforeach()
    file(WRITE "${out}" "${script}")
  endif()
  include("${out}")
endfunction()
