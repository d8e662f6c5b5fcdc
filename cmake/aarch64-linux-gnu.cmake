# Cross-compiling for 64-bit ARM Linux (make test-arm64) with Debian's cross
# toolchain (crossbuild-essential-arm64) and the arm64 libraries of a
# multiarch system (libsdl2-dev:arm64, ...):
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZORVA_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ZORVA_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ZORVA_TRIPLET}-g++)
# The libraries and their pkg-config files live beside the host's, in the
# architecture's own folders.
set(CMAKE_LIBRARY_ARCHITECTURE ${ZORVA_TRIPLET})
set(PKG_CONFIG_EXECUTABLE /usr/bin/${ZORVA_TRIPLET}-pkg-config)
# qemu-user runs what the build made (the tests, gtest's discovery and
# help2man's reading of --help) on the arm64 C library of the multiarch
# system, as binfmt would. With the cross toolchain's own copy instead
# (-L /usr/aarch64-linux-gnu), qemu 7.2 hangs at the first thread or fork.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
# GCC 12 warns, at -O3, of overlapping copies inside std::string's operator+
# that cannot happen (its -Wrestrict false positive, which CI's -Werror would
# turn into an error).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
