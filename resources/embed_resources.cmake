# Turns the resource script (corvex.rc) and the files it names into a C++
# table behind corvex::findEmbeddedResource(), for builds without native
# resources. Included by resources/CMakeLists.txt for the parser; run as
#   cmake -DRC_FILE=<corvex.rc> -DOUTPUT=<file.cpp> -P embed_resources.cmake
# to write the table.
#
# Understood lines: <id> <TYPE> "<file>", e.g. 1 PNG "knob.png" or
# 128 BITMAP "panel.bmp"; // comments and anything else are skipped, as the
# table only carries file resources. Files are relative to the script's folder.

cmake_policy(VERSION 3.22)

# corvex_read_resource_script(<rc file> <out var>): a list of id|TYPE|path.
function(corvex_read_resource_script rcFile outVar)
  get_filename_component(_base "${rcFile}" DIRECTORY)
  file(STRINGS "${rcFile}" _lines)
  set(_entries "")
  set(_seen "")
  foreach(_line IN LISTS _lines)
    string(REGEX REPLACE "//.*$" "" _line "${_line}")
    if(NOT _line MATCHES "^[ \t]*([0-9]+)[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+\"([^\"]+)\"[ \t]*$")
      continue()
    endif()
    set(_id "${CMAKE_MATCH_1}")
    string(TOUPPER "${CMAKE_MATCH_2}" _type)
    set(_file "${CMAKE_MATCH_3}")
    if(_id GREATER 65535)
      message(FATAL_ERROR "${rcFile}: resource id ${_id} does not fit in 16 bits")
    endif()
    math(EXPR _id "${_id}")  # drops leading zeros
    if("${_type}|${_id}" IN_LIST _seen)
      message(FATAL_ERROR "${rcFile}: ${_type} ${_id} is defined twice")
    endif()
    list(APPEND _seen "${_type}|${_id}")
    if(NOT IS_ABSOLUTE "${_file}")
      set(_file "${_base}/${_file}")
    endif()
    list(APPEND _entries "${_id}|${_type}|${_file}")
  endforeach()
  set(${outVar} "${_entries}" PARENT_SCOPE)
endfunction()

# Hex digits of a file as C array elements, 24 bytes a line.
function(_corvex_hex_to_array hex outVar)
  string(REPEAT "[0-9a-f]" 48 _run)
  string(REGEX REPLACE "(${_run})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REPLACE "\n" "\n    " hex "${hex}")
  set(${outVar} "${hex}" PARENT_SCOPE)
endfunction()

function(_corvex_write_table rcFile output)
  corvex_read_resource_script("${rcFile}" _entries)
  get_filename_component(_rcName "${rcFile}" NAME)
  set(_arrays "")
  set(_rows "")
  set(_n 0)
  foreach(_entry IN LISTS _entries)
    string(REPLACE "|" ";" _parts "${_entry}")
    list(GET _parts 0 _id)
    list(GET _parts 1 _type)
    list(GET _parts 2 _file)
    if(NOT EXISTS "${_file}")
      message(FATAL_ERROR "${rcFile}: ${_type} ${_id}: no such file ${_file}")
    endif()
    file(SIZE "${_file}" _size)
    if(_type STREQUAL "BITMAP")
      # A bitmap resource is the DIB without the 14-byte BITMAPFILEHEADER.
      file(READ "${_file}" _magic LIMIT 2 HEX)
      if(NOT _magic STREQUAL "424d" OR _size LESS 54)
        message(FATAL_ERROR "${rcFile}: ${_file} is not a BMP file")
      endif()
      file(READ "${_file}" _hex OFFSET 14 HEX)
    else()
      if(_size EQUAL 0)
        message(FATAL_ERROR "${rcFile}: ${_file} is empty")
      endif()
      file(READ "${_file}" _hex HEX)
    endif()
    _corvex_hex_to_array("${_hex}" _body)
    get_filename_component(_fileName "${_file}" NAME)
    string(APPEND _arrays "// ${_type} ${_id}: ${_fileName}\nalignas(8) const unsigned char kData${_n}[] = {\n    ${_body}\n};\n\n")
    string(APPEND _rows "    {\"${_type}\", ${_id}, kData${_n}, sizeof kData${_n}},\n")
    math(EXPR _n "${_n} + 1")
  endforeach()
  if(_n EQUAL 0)
    set(_rows "    {\"\", -1, nullptr, 0},\n")
  endif()

  file(WRITE "${output}" "// Generated from ${_rcName} by embed_resources.cmake; edit the script, not this file.
#include \"resources/EmbeddedResources.h\"

namespace corvex {
namespace {

${_arrays}struct Entry {
    const char* type;
    int id;
    const unsigned char* data;
    std::size_t size;
};

const Entry kEntries[] = {
${_rows}};

// Resource type names compare without regard to case, as they do on Windows.
bool sameType(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
        if (x == 0) return true;
    }
}

}  // namespace

ResourceData findEmbeddedResource(const char* type, int id) {
    if (type == nullptr) return {nullptr, 0};
    for (const Entry& e : kEntries) {
        if (e.data != nullptr && e.id == id && sameType(e.type, type)) return {e.data, e.size};
    }
    return {nullptr, 0};
}

}  // namespace corvex
")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT RC_FILE OR NOT OUTPUT)
    message(FATAL_ERROR "usage: cmake -DRC_FILE=<script.rc> -DOUTPUT=<file.cpp> -P embed_resources.cmake")
  endif()
  _corvex_write_table("${RC_FILE}" "${OUTPUT}")
endif()
