# Shared part of the MinGW-w64 cross toolchains. The including file sets
# CORVEX_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# The -posix variants of GCC: the -win32 ones have no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${CORVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVEX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${CORVEX_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${CORVEX_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# Headers and libraries come from the target's sysroot and from the folder
# scripts/mingw-libpng.sh installs libpng into; programs from the build machine.
get_filename_component(_corvex_source_root "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
if(DEFINED ENV{CORVEX_MINGW_DEPS})
  set(CORVEX_MINGW_DEPS "$ENV{CORVEX_MINGW_DEPS}/${CORVEX_MINGW_TRIPLE}")
else()
  set(CORVEX_MINGW_DEPS "${_corvex_source_root}/build/deps/${CORVEX_MINGW_TRIPLE}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${CORVEX_MINGW_TRIPLE} ${CORVEX_MINGW_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib as a static archive: FindZLIB would otherwise take the import library
# of zlib1.dll, and the plug-in must import nothing but system DLLs.
set(ZLIB_LIBRARY /usr/${CORVEX_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "static zlib for ${CORVEX_MINGW_TRIPLE}")
set(ZLIB_INCLUDE_DIR /usr/${CORVEX_MINGW_TRIPLE}/include CACHE PATH "zlib headers for ${CORVEX_MINGW_TRIPLE}")

# M_PI and friends, which glibc offers by default and MinGW's math.h only on request.
add_compile_definitions(_USE_MATH_DEFINES)
