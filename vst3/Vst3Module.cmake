# corvex_vst3_module(<target> <file name> <bundle dir> <sources>...): a VST3
# module built into <bundle dir>/Contents/<platform>/<file name>.so (Linux) or
# .vst3 (Windows), exporting GetPluginFactory and the platform's module entry
# and exit functions, nothing else. Shared by the head's and the rig's
# bundles: the common plumbing (vst3/Vst3EffectBase, Vst3Shared, Vst3Exports),
# the view and the panel's libraries (the editor, the native window layer
# and, on Windows, the panel's images) are added here; each bundle adds its
# own class and engine.
function(corvex_vst3_module target file_name bundle)
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_arch x86_64-win)
  elseif(WIN32)
    set(_arch x86-win)
  else()
    set(_arch x86_64-linux)
  endif()
  set(_common ${PROJECT_SOURCE_DIR}/vst3)
  add_library(${target} SHARED ${ARGN} ${_common}/Vst3EffectBase.cpp ${_common}/Vst3Shared.cpp
    ${_common}/Vst3Exports.cpp ${_common}/Vst3View.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE corvex_editor)
  if(TARGET corvex_platform_native)
    target_link_libraries(${target} PRIVATE corvex_platform_native)
  endif()
  if(WIN32 AND EXISTS ${PROJECT_SOURCE_DIR}/resources/corvex.rc)
    # The panel's images, as resources of the module.
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/resources/corvex.rc)
    set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/corvex.rc PROPERTIES
      INCLUDE_DIRECTORIES ${CORVEX_RC_INCLUDE_DIR})
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${file_name} PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${bundle}/Contents/${_arch}
    RUNTIME_OUTPUT_DIRECTORY ${bundle}/Contents/${_arch})
  if(WIN32)
    # The module inside a Windows bundle carries the bundle's extension; no
    # import library (nobody links against a plug-in).
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/vst3/exports.def)
    set_target_properties(${target} PROPERTIES SUFFIX ".vst3" IMPORT_PREFIX "" IMPORT_SUFFIX ".vst3.a")
  else()
    set_target_properties(${target} PROPERTIES SUFFIX ".so")
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/vst3/exports.map -Wl,--no-undefined)
  endif()
endfunction()
