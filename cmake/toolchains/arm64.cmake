# 64-bit ARM boards: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm64.cmake
# (scripts/cross-build.sh arm64 installs what it needs and builds the package).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TICORA_CROSS_TRIPLET aarch64-linux-gnu)
set(TICORA_CROSS_QEMU qemu-aarch64-static)
set(TICORA_DEB_ARCH arm64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
