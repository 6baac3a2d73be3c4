# mk_add_test(NAME target LABEL unit|widget|peer SOURCES ... LIBS ... [ENV VAR=value ...])
# Builds one GoogleTest executable and registers its tests with CTest under the label. A test
# reaches the headers of the libraries it links and of the test-support library, nothing else.
# Widget tests get a main that creates the QApplication and run on the offscreen platform.
function(mk_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS;ENV" ${ARGN})
  set(env ${T_ENV})
  if(T_LABEL STREQUAL "widget")
    add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/widget_main.cpp)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} mk_test_support Qt6::Widgets GTest::gtest)
    list(APPEND env QT_QPA_PLATFORM=offscreen)
  else()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} mk_test_support GTest::gtest
                                            GTest::gtest_main)
  endif()
  list(TRANSFORM T_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE files)
  mk_check_includes(${CMAKE_CURRENT_SOURCE_DIR} SIBLINGS FILES ${files})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${T_NAME}
    PROPERTIES LABELS ${T_LABEL} ENVIRONMENT "${env}"
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST)
endfunction()
