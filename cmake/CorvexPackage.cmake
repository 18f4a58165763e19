# The Debian package, made by CPack from the install rules (CorvexInstall.cmake):
#   cmake --preset package -G Ninja && cmake --build --preset package --target package
# or scripts/build-deb.sh, which also runs lintian. The version is
# project(VERSION) in the top CMakeLists.txt; Depends comes from the shared
# libraries the installed binaries link (dpkg-shlibdeps).
if(WIN32 OR CMAKE_CROSSCOMPILING OR CORVEX_INSTALL_USER)
  return()
endif()

set(CORVEX_MAINTAINER "Ardex Plugins <support@ardex-plugins.example>")

# Debian's documents: copyright, and the changelog (compressed, reproducibly).
set(_doc ${CMAKE_BINARY_DIR}/package-doc)
file(MAKE_DIRECTORY ${_doc})
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${_doc}/changelog @ONLY)
add_custom_command(OUTPUT ${_doc}/changelog.gz
  COMMAND gzip -9nc ${_doc}/changelog > ${_doc}/changelog.gz
  DEPENDS ${_doc}/changelog VERBATIM)
add_custom_target(corvex_package_doc ALL DEPENDS ${_doc}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${_doc}/changelog.gz
  DESTINATION ${CORVEX_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ardex Plugins")
set(CPACK_PACKAGE_CONTACT "${CORVEX_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "valve guitar amp head: VST 2.4, CLAP and LV2 plug-ins")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Corvex models a valve guitar amplifier head at circuit level: triode
preamp stages, a tone stack and the power-amp valve curve, with two
channels that remember their knobs and ten factory programs.

This package holds the VST 2.4 plug-in (/usr/lib/vst), the CLAP plug-in
(/usr/lib/clap) and the LV2 bundle with its factory presets
(/usr/lib/lv2), the batch renderer corvex-render, the JACK standalone
corvex-live, the factory programs and a speaker-cabinet response.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ardex-plugins.example/corvex")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# CPack adds postinst/postrm scripts that run ldconfig, as it does for any
# .so under /usr/lib/*/ (lintian warns: maintscript-calls-ldconfig). They are
# harmless; the package creates nothing outside its own files, so removing
# it leaves nothing behind.
# Directories dpkg owns already are not listed as the package's own.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_SOURCE_IGNORE_FILES "/build/;/dist/;/out/;/\\\\.git/")
include(CPack)
