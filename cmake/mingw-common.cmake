# Shared part of the MinGW-w64 toolchain files; QEL_TRIPLE names the target.
set(CMAKE_C_COMPILER ${QEL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QEL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Only the 64-bit build can run here (no IA32 support in the kernel).
if(QEL_TRIPLE STREQUAL "x86_64-w64-mingw32")
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
