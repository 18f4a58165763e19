# Fails when a source file includes across a forbidden edge between layers.
#   cmake -DSOURCE_DIR=<tree> -P IncludeRules.cmake
#
# Layers, from a file's path, and what each may include besides itself:
#   common  common/                    nothing
#   dsp     model/ but Corvex*         nothing: the amp model stands alone
#   vst     shell/                     common
#   gui     gui/, resources/           common: no plug-in interface
#   effect  model/Corvex*              dsp, vst, common: never the GUI or editor
#   editor  editor/                    gui, vst, dsp, common: never the effect
#   plugin  plugin/                    every layer: it joins them
#   loader  loader/                    vst, common: loads the built plug-in
# A layer includes nothing outside these folders (host/, tests/, tools/...).
cmake_minimum_required(VERSION 3.22)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<tree> -P IncludeRules.cmake")
endif()
get_filename_component(SOURCE_DIR ${SOURCE_DIR} ABSOLUTE)

set(allowed_common "")
set(allowed_dsp "")
set(allowed_vst common)
set(allowed_gui common)
set(allowed_effect dsp vst common)
set(allowed_editor gui vst dsp common)
set(allowed_plugin common dsp vst gui editor effect)
set(allowed_loader vst common)

# Sets ${out} to the layer of a path relative to the tree, or "outside".
function(layer_of path out)
  if(path MATCHES "^common/")
    set(l common)
  elseif(path MATCHES "^model/Corvex[^/]*$")
    set(l effect)
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
  ${SOURCE_DIR}/loader/*.h ${SOURCE_DIR}/loader/*.cpp)
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
