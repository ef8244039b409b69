# Shared by the per-architecture toolchain files: Debian's cross compiler for
# TICORA_CROSS_TRIPLET and the target's multiarch libraries beside the build
# machine's own (no sysroot). Qt's code generators (moc, rcc, qmlcachegen,
# lrelease) are the build machine's, from the Multi-Arch: foreign tool packages.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TICORA_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TICORA_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${TICORA_CROSS_TRIPLET})

# CTest and the build's own generators run target programs through qemu-user.
find_program(TICORA_QEMU ${TICORA_CROSS_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TICORA_QEMU})

# Programs come from the build machine; headers, libraries and CMake packages
# from the target's multiarch folders, never the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${TICORA_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})
