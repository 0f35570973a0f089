# What both Windows toolchain files share: Debian's mingw-w64 for the target
# `cardlift_mingw_target` (set by the including file), which links against the
# system's msvcrt.dll.
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model's
# C++ library lacks. The threads library is linked statically like the rest.
set(CMAKE_C_COMPILER ${cardlift_mingw_target}-gcc-posix)  # GoogleTest's project enables C too
set(CMAKE_CXX_COMPILER ${cardlift_mingw_target}-g++-posix)
set(CMAKE_RC_COMPILER ${cardlift_mingw_target}-windres)

# The header-only libraries, through a root of their own (header_root.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/header_root.cmake)
set(_cardlift_stb_root "${CMAKE_BINARY_DIR}/target-root")
cardlift_header_root("${_cardlift_stb_root}")

set(CMAKE_FIND_ROOT_PATH /usr/${cardlift_mingw_target} "${_cardlift_stb_root}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
