# Cross build for 64-bit Windows: the same sources as the shipped 32-bit DLL,
# built so the whole test suite can run at full speed under wine64.
#   cmake --preset mingw-x64
set(CORVEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_C_FLAGS_INIT "-ffp-contract=off")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off")
