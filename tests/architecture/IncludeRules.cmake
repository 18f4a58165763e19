# Fails when a source file includes across a forbidden edge between layers.
#   cmake -DSOURCE_DIR=<tree> -P IncludeRules.cmake
#
# Layers, from a file's path, and what each may include besides itself:
#   common  common/                    nothing
#   dsp     model/ but the below       nothing: the amp model stands alone
#   engine  model/AmpEngine*,          dsp, common: the amp head without any
#           model/AmpState*              plug-in format
#   vst     shell/                     common
#   gui     gui/, resources/           common: no plug-in interface
#   effect  model/Corvex*              engine, dsp, vst, common: the VST 2.4
#                                        face of the engine, never the GUI
#   port    editor/ParameterPort.h,    dsp: the panels' ports, no toolkit
#           editor/RigPort.h
#   editor  editor/ (the rest)         port, gui, vst, dsp, common: never the effect
#   plugin  plugin/                    every layer: it joins them (plugin/rig/:
#                                        the rig's VST 2.4 face)
#   loader  loader/                    vst, common: loads the built plug-in
#   cabinet cabinet/                   nothing: file reader, resampler,
#                                        convolver, loudness meter
#   rig     rig/                       engine, dsp, common, cabinet: the rig
#                                        without any plug-in format
#   a plug-in format: clap/, lv2/,     engine, rig, port, common: the engines'
#     vst3/ (each its own layer)         and the panel port's headers, nothing
#                                        of another format or of VST 2.4
# A layer includes nothing outside these folders (host/, tests/, tools/...).
# A new format folder goes into kFormatFolders.
cmake_minimum_required(VERSION 3.22)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<tree> -P IncludeRules.cmake")
endif()
get_filename_component(SOURCE_DIR ${SOURCE_DIR} ABSOLUTE)

# The plug-in formats besides VST 2.4, each an adapter over the engine.
set(kFormatFolders clap lv2 vst3)
# Formats still driving the VST 2.4 effect inside themselves; they are moved
# onto the engine on their own branches and then leave this list.
set(kFormatsNotYetOnTheEngine)

set(allowed_common "")
set(allowed_dsp "")
set(allowed_engine dsp common)
set(allowed_vst common)
set(allowed_gui common)
set(allowed_effect engine dsp vst common)
set(allowed_port dsp)
set(allowed_editor port gui vst dsp common)
set(allowed_plugin common dsp engine vst gui port editor effect rig)
set(allowed_loader vst common)
set(allowed_cabinet "")
set(allowed_rig engine dsp common cabinet port)
foreach(format IN LISTS kFormatFolders)
  set(allowed_${format} engine rig port common)
endforeach()

# Sets ${out} to the layer of a path relative to the tree, or "outside".
function(layer_of path out)
  string(REGEX REPLACE "/.*$" "" top "${path}")
  if(path MATCHES "^common/")
    set(l common)
  elseif(path MATCHES "^model/(AmpEngine|AmpState)[^/]*$")
    set(l engine)
  elseif(path MATCHES "^model/Corvex[^/]*$")
    set(l effect)
  elseif(path MATCHES "^editor/(ParameterPort|RigPort)\\.h$")
    set(l port)
  elseif(path MATCHES "^model/")
    set(l dsp)
  elseif(path MATCHES "^shell/")
    set(l vst)
  elseif(path MATCHES "^(gui|resources)/")
    set(l gui)
  elseif(path MATCHES "^editor/")
    set(l editor)
  elseif(path MATCHES "^plugin/")
    set(l plugin)
  elseif(path MATCHES "^loader/")
    set(l loader)
  elseif(path MATCHES "^cabinet/")
    set(l cabinet)
  elseif(path MATCHES "^rig/")
    set(l rig)
  elseif(top IN_LIST kFormatFolders AND path MATCHES "/")
    set(l ${top})
  else()
    set(l outside)
  endif()
  set(${out} ${l} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/common/*.h ${SOURCE_DIR}/common/*.cpp
  ${SOURCE_DIR}/model/*.h ${SOURCE_DIR}/model/*.cpp
  ${SOURCE_DIR}/shell/*.h ${SOURCE_DIR}/shell/*.cpp
  ${SOURCE_DIR}/gui/*.h ${SOURCE_DIR}/gui/*.cpp
  ${SOURCE_DIR}/resources/*.h ${SOURCE_DIR}/resources/*.cpp
  ${SOURCE_DIR}/editor/*.h ${SOURCE_DIR}/editor/*.cpp
  ${SOURCE_DIR}/plugin/*.h ${SOURCE_DIR}/plugin/*.cpp
  ${SOURCE_DIR}/loader/*.h ${SOURCE_DIR}/loader/*.cpp
  ${SOURCE_DIR}/cabinet/*.h ${SOURCE_DIR}/cabinet/*.cpp
  ${SOURCE_DIR}/rig/*.h ${SOURCE_DIR}/rig/*.cpp)
foreach(format IN LISTS kFormatFolders)
  if(NOT format IN_LIST kFormatsNotYetOnTheEngine)
    file(GLOB_RECURSE format_files RELATIVE ${SOURCE_DIR}
      ${SOURCE_DIR}/${format}/*.h ${SOURCE_DIR}/${format}/*.cpp)
    list(APPEND files ${format_files})
  endif()
endforeach()
list(SORT files)
if(NOT files)
  message(FATAL_ERROR "no layer sources under ${SOURCE_DIR}")
endif()

set(violations "")
foreach(file IN LISTS files)
  layer_of(${file} from)
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" target "${line}")
    if(NOT target MATCHES "/")
      continue()  # a file beside this one: the same layer
    endif()
    layer_of(${target} to)
    if(to STREQUAL from)
      continue()
    endif()
    if(NOT to IN_LIST allowed_${from})
      list(APPEND violations "${file} (${from}) includes ${target} (${to})")
    endif()
  endforeach()
endforeach()

list(LENGTH files count)
if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Include edges the layers forbid:\n  ${text}")
endif()
message(STATUS "${count} files keep to their layers")
