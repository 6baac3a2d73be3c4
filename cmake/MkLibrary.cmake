# mk_add_library(NAME target INCLUDE prefix SOURCES ... [PUBLIC libs...] [PRIVATE libs...] [QT])
# One folder, one static library. Its headers are reached as "<prefix>/<name>.h" by the targets
# that link it, and by no others (see mk_stage_headers). QT marks a library holding Qt classes:
# only such libraries run moc.
function(mk_add_library)
  cmake_parse_arguments(L "QT" "NAME;INCLUDE" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${L_NAME} STATIC ${L_SOURCES})
  target_link_libraries(${L_NAME} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  if(L_QT)
    set_target_properties(${L_NAME} PROPERTIES AUTOMOC ON)
  endif()
  mk_stage_headers(${L_NAME} ${L_INCLUDE} ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# Gives `target` the include root through which its headers in `folder` are reached as
# "<prefix>/<name>.h".
function(mk_stage_headers target prefix folder)
  if(prefix MATCHES "^regprobe")
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  else()
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/configurator)
  endif()
endfunction()
