# Installing the programs with their menu entries, icons, AppStream metadata and manual pages, and
# the Debian package "mosaicor-kv" made from that installation by CPack.
#
# Nothing is written into the installation at run time: a configurator whose menu entry is
# installed beside it (../share/applications) keeps its settings file and PROJECTS in the user's
# data folder. The package ships no base image: base images are device firmware, supplied with
# the device, and a sample must never reach a device by mistake. The sample images and the demo
# project stay in build/bin for scripts/run and the tests.

include(GNUInstallDirs)

# The package needs both programs; builds without windows (the sanitizer preset) install nothing.
if(NOT (TARGET Mosaicor_Kv AND TARGET Regprobe AND TARGET mosaicor-build AND TARGET mosaicor-inspect))
  return()
endif()

set(MK_PACKAGE mosaicor-kv)
set(MK_APP_IDS example.veltrisa.mosaicor_kv example.veltrisa.regprobe)
set(MK_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${MK_PACKAGE})
set(assets ${PROJECT_SOURCE_DIR}/assets)
set(generated ${CMAKE_BINARY_DIR}/install-files)

set(MK_PROGRAMS Mosaicor_Kv Regprobe mosaicor-build mosaicor-inspect)
install(TARGETS ${MK_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package) also drops the compilers' notes, as Debian's dh_strip does.
if(CMAKE_OBJCOPY)
  foreach(program ${MK_PROGRAMS})
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\"
    COMMAND_ERROR_IS_FATAL ANY)
endif()")
  endforeach()
endif()
foreach(id ${MK_APP_IDS})
  install(FILES ${assets}/desktop/${id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${assets}/desktop/${id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${assets}/icons/${id}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endforeach()

# Manual pages and the changelog are installed compressed, as Debian has them. The manual pages
# of mosaicor-build and mosaicor-inspect are made from their own --help, so the two never
# disagree.
find_program(MK_HELP2MAN help2man)
find_program(MK_GZIP gzip REQUIRED)
set(manuals ${generated}/Mosaicor_Kv.1.gz ${generated}/Regprobe.1.gz)
foreach(page Mosaicor_Kv Regprobe)
  add_custom_command(OUTPUT ${generated}/${page}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
    COMMAND ${CMAKE_COMMAND} -E copy ${assets}/man/${page}.1 ${generated}/${page}.1
    COMMAND ${MK_GZIP} -9nf ${generated}/${page}.1
    DEPENDS ${assets}/man/${page}.1
    VERBATIM)
endforeach()
if(MK_HELP2MAN)
  foreach(tool mosaicor-build mosaicor-inspect)
    if(tool STREQUAL "mosaicor-build")
      set(summary "build the configuration image and firmware of a Mosaicor_Kv project")
      set(include_file mosaicor-build.h2m)
    else()
      set(summary "show or compare the configuration a Mosaicor_Kv firmware image carries")
      set(include_file mosaicor-inspect.h2m)
    endif()
    add_custom_command(OUTPUT ${generated}/${tool}.1.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
      COMMAND ${MK_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
              "--name=${summary}" --include=${assets}/man/${include_file}
              --output=${generated}/${tool}.1 $<TARGET_FILE:${tool}>
      COMMAND ${MK_GZIP} -9nf ${generated}/${tool}.1
      DEPENDS ${tool} ${assets}/man/${include_file}
      VERBATIM)
    list(APPEND manuals ${generated}/${tool}.1.gz)
  endforeach()
else()
  message(WARNING "help2man is missing (scripts/bootstrap installs it): no manual pages for "
                  "mosaicor-build and mosaicor-inspect")
endif()
add_custom_command(OUTPUT ${generated}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
  COMMAND ${CMAKE_COMMAND} -E copy ${assets}/debian/changelog ${generated}/changelog
  COMMAND ${MK_GZIP} -9nf ${generated}/changelog
  DEPENDS ${assets}/debian/changelog
  VERBATIM)
add_custom_target(mk_install_files ALL DEPENDS ${manuals} ${generated}/changelog.gz)
install(FILES ${manuals} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${assets}/debian/copyright ${generated}/changelog.gz DESTINATION ${MK_DOCDIR})

# The Debian package. Its library dependencies come from the programs themselves (shlibdeps);
# the platform plugins are loaded at run time, so they are named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${MK_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Veltrisa")
set(CPACK_PACKAGE_CONTACT "Veltrisa <support@veltrisa.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configurator and Modbus TCP test master for the RQ41902 gateway")
# CPack puts the summary on the first line; this is the long description that follows it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Mosaicor_Kv configures the RQ41902 gateway between CANopen and Modbus TCP: it
keeps projects of configuration tables, builds the configuration image, merges
it into the device's base firmware image and starts the serial loader.
mosaicor-build runs the same build from the command line, and mosaicor-inspect
shows or compares the configuration a firmware image carries.
.
Regprobe is a small Modbus TCP master that reads and writes holding registers
of a slave, once or on a timer, for testing the gateway.
.
Base firmware images are not included: they come with the device.
.
Ping Device sends its echo through an unprivileged ICMP socket when the
user's group is inside net.ipv4.ping_group_range. To allow every group, put
the line net.ipv4.ping_group_range = 0 2147483647 into a file in
/etc/sysctl.d and run sysctl --system as root. Otherwise the echo goes out
through the ping program of iputils-ping.")
# Debian packages install into /usr, whatever CMAKE_INSTALL_PREFIX says for `cmake --install`.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.veltrisa.example/rq41902")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The ping's last way out when neither ICMP socket is allowed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "iputils-ping")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

# Builds the package from this build, installs it into a scratch root and checks what arrived.
add_test(NAME package_install
  COMMAND ${PROJECT_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package_install PROPERTIES LABELS package SKIP_RETURN_CODE 77 TIMEOUT 180)
