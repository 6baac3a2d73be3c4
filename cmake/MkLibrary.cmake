# mk_add_library(NAME target INCLUDE prefix SOURCES ... [PUBLIC libs...] [PRIVATE libs...] [QT])
# One folder, one static library. Its headers are reached as "<prefix>/<name>.h" by the targets
# that link it, and by no others (see mk_stage_headers). QT marks a library holding Qt classes:
# only such libraries run moc.
function(mk_add_library)
  cmake_parse_arguments(L "QT" "NAME;INCLUDE" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${L_NAME} STATIC ${L_SOURCES})
  target_link_libraries(${L_NAME} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  mk_harden(${L_NAME})
  if(L_QT)
    set_target_properties(${L_NAME} PROPERTIES AUTOMOC ON)
  endif()
  mk_stage_headers(${L_NAME} ${L_INCLUDE} ${CMAKE_CURRENT_SOURCE_DIR})
  mk_check_includes(${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# Gives `target` an include root of its own, ${CMAKE_BINARY_DIR}/include/<target>, holding links
# to the headers directly in `folder` (not in its subfolders) under "<prefix>/", and exports it to
# the targets that link `target`. No library exports a root shared with others, so a file can only
# include the headers of the libraries its target links: an include that climbs, or that reaches
# for a library not linked, fails to compile. The links are made anew at each configuration.
function(mk_stage_headers target prefix folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${prefix})
  file(GLOB headers CONFIGURE_DEPENDS ${folder}/*.h)
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${root}/${prefix}/${name} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# A quoted include is also looked for beside the including file, which the include roots cannot
# stop: "../shell/settings_file.h" would climb out of a folder, and "windows/TFSdoMB.h" from
# tables/ would reach the windows above it. So no include of a library's files may name a file
# reached from that file's own folder; every include goes through an include root. Tests may
# include helpers beside them (SIBLINGS) but never climb.
function(mk_check_includes folder)
  cmake_parse_arguments(C "SIBLINGS" "" "FILES" ${ARGN})
  if(C_FILES)
    set(files ${C_FILES})
  else()
    file(GLOB files CONFIGURE_DEPENDS ${folder}/*.h ${folder}/*.cpp)
  endif()
  foreach(file ${files})
    get_filename_component(here ${file} DIRECTORY)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line ${lines})
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" name "${line}")
      if((NOT C_SIBLINGS AND EXISTS ${here}/${name}) OR name MATCHES "(^|/)\\.\\.?/")
        message(FATAL_ERROR "${file}: #include \"${name}\" is reached from the file's own "
                            "folder, not through the include root of a linked library")
      endif()
    endforeach()
  endforeach()
endfunction()
