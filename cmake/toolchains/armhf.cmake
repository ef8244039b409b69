# 32-bit ARMv7 boards (hard float): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/armhf.cmake
# (scripts/cross-build.sh armhf installs what it needs and builds the package).
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(TICORA_CROSS_TRIPLET arm-linux-gnueabihf)
set(TICORA_CROSS_QEMU qemu-arm-static)
set(TICORA_DEB_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
# GCC notes that the passing of some Qt iterators changed in GCC 7.1; that matters only
# beside code built by a GCC older than 7, and every library of the unit comes from the
# same Debian release.
string(APPEND CMAKE_CXX_FLAGS_INIT " -Wno-psabi")
