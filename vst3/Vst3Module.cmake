# corvex_vst3_module(<target> <file name> <bundle dir> <sources>...): a VST3
# module built into <bundle dir>/Contents/<platform>/<file name>.so (Linux) or
# .vst3 (Windows), exporting GetPluginFactory and the platform's module entry
# and exit functions, nothing else. Shared by the head's and the rig's
# bundles; each adds its own libraries and resources.
function(corvex_vst3_module target file_name bundle)
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_arch x86_64-win)
  elseif(WIN32)
    set(_arch x86-win)
  else()
    set(_arch x86_64-linux)
  endif()
  add_library(${target} SHARED ${ARGN})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
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
