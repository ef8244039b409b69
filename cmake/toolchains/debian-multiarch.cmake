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

# Programs come from the build machine; headers, libraries and CMake packages
# from the target's, never the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu/cmake)
unset(ENV{PKG_CONFIG_PATH})

# Where the target architecture's package lists cannot be fetched, scripts/cross-build.sh
# unpacks its libraries from the main archive into a folder of their own instead
# (TICORA_CROSS_SYSROOT); the compiler and its C library stay Debian's cross packages.
if(NOT TICORA_CROSS_SYSROOT AND DEFINED ENV{TICORA_CROSS_SYSROOT})
  set(TICORA_CROSS_SYSROOT $ENV{TICORA_CROSS_SYSROOT})
endif()
if(TICORA_CROSS_SYSROOT)
  # try_compile reads this file again in the same process, without the cache.
  set(ENV{TICORA_CROSS_SYSROOT} ${TICORA_CROSS_SYSROOT})
  set(CMAKE_SYSROOT ${TICORA_CROSS_SYSROOT})
  set(CMAKE_FIND_ROOT_PATH ${TICORA_CROSS_SYSROOT})
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
  # The libraries' own dependencies, for the linker.
  foreach(dir /usr/lib/${TICORA_CROSS_TRIPLET} /lib/${TICORA_CROSS_TRIPLET})
    string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${TICORA_CROSS_SYSROOT}${dir}")
    string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,-rpath-link,${TICORA_CROSS_SYSROOT}${dir}")
    string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${TICORA_CROSS_SYSROOT}${dir}")
  endforeach()
  set(ENV{PKG_CONFIG_SYSROOT_DIR} ${TICORA_CROSS_SYSROOT})
  set(ENV{PKG_CONFIG_LIBDIR}
    ${TICORA_CROSS_SYSROOT}/usr/lib/${TICORA_CROSS_TRIPLET}/pkgconfig:${TICORA_CROSS_SYSROOT}/usr/share/pkgconfig)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TICORA_QEMU} -L ${TICORA_CROSS_SYSROOT})
else()
  set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${TICORA_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TICORA_QEMU})
endif()
