# Copies the sample base images into BIN/MASTER and the demo project into BIN/PROJECTS/demo,
# never replacing what is already there.
foreach(image RZ41902_15_3.sx RZ41902_8_8.sx)
  if(NOT EXISTS "${BIN}/MASTER/${image}")
    file(COPY "${ASSETS}/${image}" DESTINATION "${BIN}/MASTER")
  endif()
endforeach()
if(NOT EXISTS "${BIN}/PROJECTS/demo")
  file(COPY "${ASSETS}/demo" DESTINATION "${BIN}/PROJECTS")
  file(MAKE_DIRECTORY "${BIN}/PROJECTS/demo/bin")
endif()
