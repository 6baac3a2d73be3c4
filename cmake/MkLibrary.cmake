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
  mk_check_includes(${CMAKE_CURRENT_SOURCE_DIR} LINKS ${L_PUBLIC} ${L_PRIVATE})
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

# Headers of outside libraries that the system's include path reaches from every file, each with
# the library that a target must link itself to include it.
set(MK_OUTSIDE_HEADERS
  pugixml.hpp=pugixml::pugixml
  freexl.h=PkgConfig::FREEXL
  modbus.h=PkgConfig::LIBMODBUS)

# A quoted include is also looked for beside the including file, which the include roots cannot
# stop: "../shell/settings_file.h" would climb out of a folder, and "windows/TFSdoMB.h" from
# tables/ would reach the windows above it. So no include of a library's files may name a file
# reached from that file's own folder; every include goes through an include root. No include,
# quoted or not, may climb with ".." (<../mk_shell/shell/x.h> would leave an include root for
# another) or name an absolute path, and the header of an outside library is included only where
# its library is linked (LINKS: the target's own links). Tests may include helpers beside them
# (SIBLINGS) but never climb.
function(mk_check_includes folder)
  cmake_parse_arguments(C "SIBLINGS" "" "FILES;LINKS" ${ARGN})
  if(C_FILES)
    set(files ${C_FILES})
  else()
    file(GLOB files CONFIGURE_DEPENDS ${folder}/*.h ${folder}/*.cpp)
  endif()
  foreach(file ${files})
    get_filename_component(here ${file} DIRECTORY)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line ${lines})
      string(REGEX REPLACE "^[^\"<]*([\"<])([^\">]*)([\">]).*$" "\\1;\\2;\\3" parts "${line}")
      list(GET parts 0 open)
      list(GET parts 1 name)
      list(GET parts 2 close)
      if(name MATCHES "(^|/)\\.\\.?/" OR IS_ABSOLUTE "${name}")
        message(FATAL_ERROR "${file}: #include ${open}${name}${close} climbs out of the include "
                            "roots (\"..\" or an absolute path); include \"<folder>/<file>.h\" "
                            "of a linked library")
      endif()
      if(open STREQUAL "\"" AND NOT C_SIBLINGS AND EXISTS ${here}/${name})
        message(FATAL_ERROR "${file}: #include \"${name}\" is reached from the file's own "
                            "folder, not through the include root of a linked library")
      endif()
      get_filename_component(header ${name} NAME)
      foreach(pair ${MK_OUTSIDE_HEADERS})
        string(REPLACE "=" ";" pair ${pair})
        list(GET pair 0 outside_header)
        list(GET pair 1 library)
        if(header STREQUAL outside_header AND NOT library IN_LIST C_LINKS)
          message(FATAL_ERROR "${file}: #include ${open}${name}${close} is a header of "
                              "${library}, which this target does not link")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()
