# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (make windows):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The posix flavour of the compilers, whose C++ library has std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZORVA_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORVA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVA_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZORVA_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Wine runs what the build made, for tests and for gtest's discovery.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# GCC 12 warns of overlapping copies inside std::string's operator+ that
# cannot happen (its -Wrestrict false positive, which CI's -Werror would turn
# into an error).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
