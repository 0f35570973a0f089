# Cross-compiles the 32-bit Windows console program, the one that is shipped,
# with Debian's mingw-w64 (package g++-mingw-w64-i686).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(cardlift_mingw_target i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
