# Copies the sample base images into BIN/MASTER and the demo project into BIN/PROJECTS/demo,
# never replacing what is already there.
foreach(image RZ41902_15_3.sx RZ41902_8_8.sx)
  if(NOT EXISTS "${BIN}/MASTER/${image}")
    file(COPY "${ASSETS}/${image}" DESTINATION "${BIN}/MASTER")
  endif()
endforeach()
# The demo is placed file by file, so a demo folder from an older build also receives the tables
# added since, while every file already there stays as the user left it.
file(GLOB demo_files RELATIVE "${ASSETS}/demo" "${ASSETS}/demo/*")
foreach(name IN LISTS demo_files)
  if(NOT EXISTS "${BIN}/PROJECTS/demo/${name}")
    file(COPY "${ASSETS}/demo/${name}" DESTINATION "${BIN}/PROJECTS/demo")
  endif()
endforeach()
file(MAKE_DIRECTORY "${BIN}/PROJECTS/demo/bin")
