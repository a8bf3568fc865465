# Shared part of the MinGW-w64 toolchain files; QEL_TRIPLE names the target.
set(CMAKE_C_COMPILER ${QEL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QEL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The kernel here runs no IA32 code, but wine64 runs 32-bit Windows programs
# in its wow64 mode (given the 32-bit PE DLLs that ./run installs).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
