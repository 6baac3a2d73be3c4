# mk_add_test(NAME target LABEL unit|widget|peer SOURCES ... LIBS ... [ENV VAR=value ...])
# Builds one GoogleTest executable and registers its suites with CTest under the label, one CTest
# test per suite (cmake/MkSuites.cmake), listed when CTest runs. A test reaches the headers of
# the libraries it links and of the test-support library, nothing else.
# Widget tests get a main that creates the QApplication and run on the offscreen platform.
function(mk_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS;ENV" ${ARGN})
  set(env ${T_ENV})
  if(T_LABEL STREQUAL "widget")
    add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/widget_main.cpp)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} mk_test_support Qt6::Widgets GTest::gtest)
    list(APPEND env QT_QPA_PLATFORM=offscreen)
  else()
    add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/test_main.cpp)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} mk_test_support GTest::gtest)
  endif()
  list(TRANSFORM T_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE files)
  mk_check_includes(${CMAKE_CURRENT_SOURCE_DIR} SIBLINGS FILES ${files} LINKS ${T_LIBS})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_include.cmake)
  file(GENERATE OUTPUT ${include_file} CONTENT
    "include([=[${PROJECT_SOURCE_DIR}/cmake/MkSuites.cmake]=])
mk_register_suites([=[${T_NAME}]=] [=[$<TARGET_FILE:${T_NAME}>]=] [=[${T_LABEL}]=] [=[${env}]=]
                   [=[${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_suites.cmake]=])
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
