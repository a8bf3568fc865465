# Cross-build for 64-bit Windows with MinGW-w64. The -posix compilers are
# required by GoogleTest (std::thread); the product itself uses no C++ runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QEL_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
