# Installation and the Debian package. `cmake --install` lays Lumarex out as a Linux desktop
# program; `cpack` in the build folder wraps the same layout into a .deb (`./lumarex.sh package`).
# Included after the source folders, so that it sees which executables exist: the desktop program
# `lumarex` is installed, with its desktop entry and manual page, only where it is built.

set(lumarex_packaging_dir "${CMAKE_SOURCE_DIR}/packaging")

# The executables go to <prefix>/bin and the driver library to <prefix>/lib/lumarex: it is loaded
# by path, never linked, so it stays out of the linker's folders and ldconfig's cache. The
# program finds it as <folder of the executable>/../lib/lumarex/ (src/output/jm_laser.cpp), which
# is why these two folders are fixed here rather than taken from GNUInstallDirs (whose library
# folder depends on the prefix and the distribution).
set(LUMAREX_INSTALL_BINDIR bin)
set(LUMAREX_INSTALL_DRIVERDIR lib/lumarex)
# Relative to the prefix: the .deb's rule lands in /usr/lib/udev/rules.d, the folder the driver
# library's permission hint names; udev also reads /usr/local/lib/udev/rules.d.
set(LUMAREX_INSTALL_UDEVRULESDIR lib/udev/rules.d)

install(TARGETS lumarex-cli RUNTIME DESTINATION ${LUMAREX_INSTALL_BINDIR})
install(TARGETS jmlaser LIBRARY DESTINATION ${LUMAREX_INSTALL_DRIVERDIR})
install(FILES "${lumarex_packaging_dir}/lumarex-mime.xml" DESTINATION share/mime/packages
        RENAME lumarex.xml)
install(FILES "${lumarex_packaging_dir}/lumarex.svg" DESTINATION share/icons/hicolor/scalable/apps)
install(FILES "${lumarex_packaging_dir}/60-lumarex-helios.rules"
        DESTINATION ${LUMAREX_INSTALL_UDEVRULESDIR})
install(FILES "${CMAKE_SOURCE_DIR}/README.md" DESTINATION share/doc/lumarex)
# An example user unit of an installation that plays a set list all day (`systemctl --user
# enable --now lumarex-show.service`).
install(FILES "${lumarex_packaging_dir}/lumarex-show.service" DESTINATION lib/systemd/user)

set(lumarex_programs lumarex-cli)
if(TARGET lumarex)
  list(APPEND lumarex_programs lumarex)
  install(TARGETS lumarex RUNTIME DESTINATION ${LUMAREX_INSTALL_BINDIR})
  install(FILES "${lumarex_packaging_dir}/lumarex.desktop" DESTINATION share/applications)
endif()

# Manual pages carry the project's version and are installed compressed, as Debian wants them.
set(lumarex_man_pages)
foreach(program IN LISTS lumarex_programs)
  set(page "${CMAKE_BINARY_DIR}/packaging/${program}.1")
  configure_file("${lumarex_packaging_dir}/${program}.1.in" "${page}" @ONLY)
  add_custom_command(OUTPUT "${page}.gz"
                     COMMAND gzip -9 -n -c "${page}" > "${page}.gz"
                     DEPENDS "${page}" VERBATIM)
  list(APPEND lumarex_man_pages "${page}.gz")
endforeach()
add_custom_target(lumarex_man_pages ALL DEPENDS ${lumarex_man_pages})
install(FILES ${lumarex_man_pages} DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumarex)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Lumarex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "laser-show player for the Linux desktop")
# The long description as Debian shows it: lines under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Lumarex loads laser shows written by many laser systems (ILDA, LDS and"
  "Phoenix Cat and Pic, ULF, PHO, Bilda, Pangolin LDB, LaserPainter, Grabben,"
  "Mamba Black), plays them locked to the clock to a laser DAC (Ether Dream,"
  "IDN, LaserCube, Helios USB) with the show's music in step, corrects the"
  "output for the projector, optimises scan paths for galvo scanners and"
  "writes ILDA, Cat and ULF files. lumarex-cli is its batch and headless"
  "front end.")
set(CPACK_PACKAGE_CONTACT "Lumarex developers <lumarex@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The linked libraries' packages come from dpkg-shlibdeps. What is loaded at run time shows in no
# ELF header and is named here: Mesa's drivers behind libEGL/libGL (the headless pictures and the
# previews) and, for the windows, Qt's platform plugins.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1-mesa-dri")
if(TARGET lumarex)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-qpa-plugins")
endif()
include(CPack)
