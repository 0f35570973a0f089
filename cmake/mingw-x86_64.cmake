# Cross-compiles the same sources as a 64-bit Windows console program with
# Debian's mingw-w64 (package g++-mingw-w64-x86-64). It is a test build: wine64
# runs it on hosts that cannot execute 32-bit x86 code, and it shows any
# assumption of 32-bit pointers or `long` in the Windows code.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(cardlift_mingw_target x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
