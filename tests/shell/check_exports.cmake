# Fails unless the plug-in's dynamic symbol table defines exactly the two
# entry points, VSTPluginMain and main (linker-made markers aside).
# Usage: cmake -DPLUGIN=<Corvex.so> -DNM=<nm> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
                OUTPUT_VARIABLE _out ERROR_VARIABLE _err RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "nm failed (${_rc}): ${_err}")
endif()
string(REPLACE "\n" ";" _lines "${_out}")
set(_found "")
foreach(_line IN LISTS _lines)
  if(_line MATCHES "^[0-9a-fA-F]* *[A-Za-z] +([^ ]+)$")
    string(REGEX REPLACE "@.*$" "" _symbol "${CMAKE_MATCH_1}")
    if(NOT _symbol MATCHES "^(_init|_fini|_edata|_end|__bss_start)$")
      list(APPEND _found "${_symbol}")
    endif()
  endif()
endforeach()
list(SORT _found)
if(NOT _found STREQUAL "VSTPluginMain;main")
  message(FATAL_ERROR "plug-in exports [${_found}], expected exactly [VSTPluginMain;main]")
endif()
message(STATUS "exports: ${_found}")
