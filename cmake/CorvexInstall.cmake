# Where `cmake --install` (and the Debian package) puts everything, in one
# place. Two layouts:
#
#   system (default), under CMAKE_INSTALL_PREFIX (/usr/local; the package /usr):
#     bin/corvex-render, bin/corvex-live         the hosts
#     lib/vst/Corvex.so, CorvexRig.so            VST 2.4 (the head, the rig)
#     lib/clap/Corvex.clap, CorvexRig.clap       CLAP
#     lib/lv2/Corvex.lv2/, CorvexRig.lv2/        LV2 bundles, factory presets inside
#     lib/vst3/Corvex.vst3/                      VST3 bundle (when built)
#     share/vst3/presets/<vendor>/<plug-in>/     its factory programs as .vstpreset
#     share/corvex/presets, share/corvex/cabinet factory programs, cabinet responses
#     share/man/man1/                            manual pages
#     share/doc/corvex/                          copyright, changelog
#
#   one user (-DCORVEX_INSTALL_USER=ON): ~/.vst, ~/.clap, ~/.lv2, ~/.vst3,
#     ~/.vst3/presets, ~/.local/bin, ~/.local/share/corvex, ~/.local/share/man/man1.
#
# A plug-in format adds itself with one call from its own CMakeLists.txt:
#   corvex_install_plugin(VST3 DIRECTORY <bundle folder>)
#   corvex_install_plugin(CLAP TARGETS <target>)
# The hosts are built knowing where the plug-in and the data sit relative to
# bin/ (CORVEX_PLUGIN_DIR_FROM_BIN, CORVEX_DATA_DIR_FROM_BIN), so an
# installed corvex-render needs no --plugin and finds the factory programs.

option(CORVEX_INSTALL_USER
  "Install for the current user: ~/.vst, ~/.clap, ~/.lv2, ~/.vst3, ~/.local/bin, ~/.local/share/corvex" OFF)

if(CORVEX_INSTALL_USER)
  if(NOT DEFINED ENV{HOME} OR "$ENV{HOME}" STREQUAL "")
    message(FATAL_ERROR "CORVEX_INSTALL_USER needs HOME to be set")
  endif()
  set(_home "$ENV{HOME}")
  if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX "${_home}/.local" CACHE PATH "Install prefix" FORCE)
  endif()
  set(CORVEX_INSTALL_VST2DIR "${_home}/.vst")
  set(CORVEX_INSTALL_CLAPDIR "${_home}/.clap")
  set(CORVEX_INSTALL_LV2DIR  "${_home}/.lv2")
  set(CORVEX_INSTALL_VST3DIR "${_home}/.vst3")
  set(CORVEX_INSTALL_VST3PRESETDIR "${_home}/.vst3/presets")
else()
  set(CORVEX_INSTALL_VST2DIR "lib/vst")
  set(CORVEX_INSTALL_CLAPDIR "lib/clap")
  set(CORVEX_INSTALL_LV2DIR  "lib/lv2")
  set(CORVEX_INSTALL_VST3DIR "lib/vst3")
  set(CORVEX_INSTALL_VST3PRESETDIR "share/vst3/presets")
endif()
set(CORVEX_INSTALL_BINDIR  "bin")
set(CORVEX_INSTALL_DATADIR "share/corvex")
set(CORVEX_INSTALL_MANDIR  "share/man/man1")
set(CORVEX_INSTALL_DOCDIR  "share/doc/corvex")

# corvex_abs_install_dir(<var> <dir>): <dir> as an absolute path.
function(corvex_abs_install_dir var dir)
  if(IS_ABSOLUTE "${dir}")
    set(${var} "${dir}" PARENT_SCOPE)
  else()
    set(${var} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

# The paths the hosts use to find the installed plug-in and data.
corvex_abs_install_dir(_bin "${CORVEX_INSTALL_BINDIR}")
corvex_abs_install_dir(_vst "${CORVEX_INSTALL_VST2DIR}")
corvex_abs_install_dir(_data "${CORVEX_INSTALL_DATADIR}")
file(RELATIVE_PATH CORVEX_PLUGIN_DIR_FROM_BIN "${_bin}" "${_vst}")
file(RELATIVE_PATH CORVEX_DATA_DIR_FROM_BIN "${_bin}" "${_data}")

# corvex_install_plugin(<VST2|CLAP|LV2|VST3> [TARGETS <targets...>] [DIRECTORY <folder>]
#                       [SUBDIR <folder inside the format's directory>])
# Installs a plug-in into its format's folder. TARGETS are stripped when
# installing with --strip (and in the package); DIRECTORY copies a bundle
# folder as it stands, keeping the permissions it has.
function(corvex_install_plugin format)
  cmake_parse_arguments(P "" "DIRECTORY;SUBDIR" "TARGETS" ${ARGN})
  if(WIN32)
    return()  # Windows: the NSIS installer (installer/windows/) places the files
  endif()
  if(NOT DEFINED CORVEX_INSTALL_${format}DIR)
    message(FATAL_ERROR "corvex_install_plugin: unknown format ${format}")
  endif()
  set(dest "${CORVEX_INSTALL_${format}DIR}")
  if(P_SUBDIR)
    set(dest "${dest}/${P_SUBDIR}")
  endif()
  foreach(t ${P_TARGETS})
    if(TARGET ${t})
      install(TARGETS ${t} LIBRARY DESTINATION "${dest}" RUNTIME DESTINATION "${dest}")
    endif()
  endforeach()
  if(P_DIRECTORY)
    install(DIRECTORY "${P_DIRECTORY}" DESTINATION "${dest}" USE_SOURCE_PERMISSIONS)
  endif()
endfunction()

# The rules for everything built in this tree; called once at the end of the
# top CMakeLists.txt, when every target exists.
function(corvex_install_rules)
  if(WIN32 OR CMAKE_CROSSCOMPILING)
    return()
  endif()
  # The hosts learn the layout (see host/HostPlatform.h).
  foreach(t corvex-render corvex-live corvex-editor-host)
    if(TARGET ${t})
      target_compile_definitions(${t} PRIVATE
        CORVEX_PLUGIN_DIR_FROM_BIN="${CORVEX_PLUGIN_DIR_FROM_BIN}"
        CORVEX_DATA_DIR_FROM_BIN="${CORVEX_DATA_DIR_FROM_BIN}")
    endif()
  endforeach()

  corvex_install_plugin(VST2 TARGETS corvex_plugin)
  corvex_install_plugin(CLAP TARGETS corvex_clap)
  if(TARGET corvex_lv2)
    corvex_install_plugin(LV2 TARGETS corvex_lv2 corvex_lv2_ui SUBDIR Corvex.lv2)
    # The description and the factory presets, written at build time.
    install(DIRECTORY "${CORVEX_LV2_BUNDLE}/" DESTINATION "${CORVEX_INSTALL_LV2DIR}/Corvex.lv2"
      FILES_MATCHING PATTERN "*.ttl")
  endif()

  # Corvex Rig beside the head, in each format it is built as.
  corvex_install_plugin(VST2 TARGETS corvex_rig_vst)
  corvex_install_plugin(CLAP TARGETS corvex_rig_clap)
  if(TARGET corvex_rig_lv2)
    corvex_install_plugin(LV2 TARGETS corvex_rig_lv2 SUBDIR CorvexRig.lv2)
    install(DIRECTORY "${CORVEX_RIG_LV2_BUNDLE}/" DESTINATION "${CORVEX_INSTALL_LV2DIR}/CorvexRig.lv2"
      FILES_MATCHING PATTERN "*.ttl")
  endif()

  if(TARGET corvex_vst3)
    # The bundle's module in its platform folder, and the scanners' class list.
    corvex_install_plugin(VST3 TARGETS corvex_vst3 SUBDIR Corvex.vst3/Contents/x86_64-linux)
    install(FILES "${CORVEX_VST3_BUNDLE}/Contents/Resources/moduleinfo.json"
      DESTINATION "${CORVEX_INSTALL_VST3DIR}/Corvex.vst3/Contents/Resources")
  endif()
  if(TARGET corvex_vst3_presets)
    # The factory programs where VST3 hosts look for presets: the vendor's
    # folder, then the plug-in's name.
    install(DIRECTORY "${CORVEX_VST3_PRESET_DIR}/"
      DESTINATION "${CORVEX_INSTALL_VST3PRESETDIR}/Ardex Plugins/Vantor_Corvex_Head_v1_0"
      FILES_MATCHING PATTERN "*.vstpreset")
  endif()
  if(TARGET corvex_rig_vst3)
    corvex_install_plugin(VST3 TARGETS corvex_rig_vst3 SUBDIR CorvexRig.vst3/Contents/x86_64-linux)
    install(FILES "${CORVEX_RIG_VST3_BUNDLE}/Contents/Resources/moduleinfo.json"
      DESTINATION "${CORVEX_INSTALL_VST3DIR}/CorvexRig.vst3/Contents/Resources")
  endif()

  foreach(t corvex-render corvex-live)
    if(TARGET ${t})
      install(TARGETS ${t} RUNTIME DESTINATION "${CORVEX_INSTALL_BINDIR}")
      set(_source ${PROJECT_SOURCE_DIR}/docs/man/${t}.1)
      if(EXISTS ${_source})
        # The page carries the product's version; Debian wants it compressed,
        # reproducibly (no name, no time).
        set(_page ${CMAKE_BINARY_DIR}/man/${t}.1)
        configure_file(${_source} ${_page} @ONLY)
        set(_gz ${_page}.gz)
        add_custom_command(OUTPUT ${_gz}
          COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
          COMMAND gzip -9nc ${_page} > ${_gz}
          DEPENDS ${_page} VERBATIM)
        add_custom_target(${t}_man ALL DEPENDS ${_gz})
        install(FILES ${_gz} DESTINATION "${CORVEX_INSTALL_MANDIR}")
      endif()
    endif()
  endforeach()

  install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/presets/
    DESTINATION "${CORVEX_INSTALL_DATADIR}/presets" FILES_MATCHING PATTERN "*.fx[pb]")
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/cabinet/
    DESTINATION "${CORVEX_INSTALL_DATADIR}/cabinet" FILES_MATCHING PATTERN "*.wav")
endfunction()

# The build tree mirrors the installed data layout: build/<preset>/share/corvex
# points at the sources, so a host in build/<preset>/host finds the factory
# programs and cabinets the way an installed one does.
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/share/corvex)
  foreach(_d presets cabinet)
    if(NOT EXISTS ${CMAKE_BINARY_DIR}/share/corvex/${_d})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/resources/${_d} ${CMAKE_BINARY_DIR}/share/corvex/${_d} SYMBOLIC)
    endif()
  endforeach()
endif()
