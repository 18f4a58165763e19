# Cross build for 32-bit Windows on x86 (the shipped plug-in):
#   cmake --preset mingw-i686
set(CORVEX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# SSE2 arithmetic, no fused multiply-adds: doubles are rounded exactly as on
# x86-64, so the DLL computes the same samples as the Linux build. (The
# top-level CMakeLists adds the same flags for i686; these reach third-party
# code built with this file too.)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -ffp-contract=off")
