# Cross build for the board's 32-bit ARM (Debian armhf ABI: ARMv7, hard
# float), used by scripts/test-armhf.
#
# Compiler, C and C++ runtime headers and libc come from Debian's
# arm-linux-gnueabihf cross toolchain; everything else the tree links
# (protobuf, sqlite, gtest/gmock, zlib) comes from armhf packages unpacked
# into SYSSRV_ARMHF_SYSROOT, which scripts/test-armhf builds and caches in the
# build folder. The host's protoc generates the message classes: protoc
# output does not depend on the target, only its version has to match the
# armhf headers.
#
# time_t is 64 bits wide on this target build (_TIME_BITS=64, which glibc
# only accepts together with _FILE_OFFSET_BITS=64). The default on 32-bit ARM
# is 32 bits, which ends in January 2038, well within the service life of an
# appliance that sets its clock and RTC from the master unit and from time
# servers. With 64-bit time_t here both builds share one time_t width, and
# code that assumes time_t is a long (printf "%ld", storing it in a long)
# stops compiling under -Werror on this build instead of wrapping in 2038.
# Consequences for the code:
#  - struct input_event keeps its 16-byte kernel layout, but its "time"
#    member is replaced by __sec/__usec: use input_event_sec and
#    input_event_usec, which work in both builds;
#  - do not hand time_t, struct timeval/timespec or struct stat to
#    interfaces of the sysroot's prebuilt libraries, which were built with
#    32-bit time_t (protobuf's TimeUtil timeval/time_t helpers); protobuf
#    messages carry times as integers, which is what the daemon uses.
# Where the platform itself has only a 32-bit time_t, the service still
# cannot go past 2038; tests/arch pins the width so that a change here is
# a visible decision and not an accident.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# try_compile projects re-read this file without the cache: hand the
# sysroot on to them, and let the environment name it as well.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SYSSRV_ARMHF_SYSROOT)
if(NOT SYSSRV_ARMHF_SYSROOT AND DEFINED ENV{SYSSRV_ARMHF_SYSROOT})
  set(SYSSRV_ARMHF_SYSROOT "$ENV{SYSSRV_ARMHF_SYSROOT}")
endif()
if(NOT SYSSRV_ARMHF_SYSROOT OR NOT EXISTS "${SYSSRV_ARMHF_SYSROOT}/usr/include")
  message(FATAL_ERROR "SYSSRV_ARMHF_SYSROOT must name an unpacked armhf "
                      "sysroot (scripts/test-armhf builds one)")
endif()
set(_sr "${SYSSRV_ARMHF_SYSROOT}")

# The sysroot holds only the libraries' own packages, so the compiler keeps
# its cross libc and libstdc++ and no longer looks into the host's
# /usr/include.
set(CMAKE_SYSROOT "${_sr}")
set(CMAKE_FIND_ROOT_PATH "${_sr}" /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${_sr}")
set(ENV{PKG_CONFIG_LIBDIR}
    "${_sr}/usr/lib/arm-linux-gnueabihf/pkgconfig:${_sr}/usr/share/pkgconfig")

set(_defs "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_C_FLAGS_INIT "${_defs}")
set(CMAKE_CXX_FLAGS_INIT "${_defs}")

# libprotobuf.so needs libz.so.1, which the linker only finds inside the
# sysroot when told where to look for the dependencies of shared libraries.
set(_rl "-Wl,-rpath-link,${_sr}/lib/arm-linux-gnueabihf -Wl,-rpath-link,${_sr}/usr/lib/arm-linux-gnueabihf")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_rl}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_rl}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_rl}")

# ctest (and gtest_discover_tests at build time) start ARM programs through
# user-mode emulation with the sysroot as the program's root for the loader
# and its libraries; nothing is registered with binfmt.
find_program(SYSSRV_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${SYSSRV_QEMU_ARM};-L;${_sr}")

find_program(Protobuf_PROTOC_EXECUTABLE protoc REQUIRED)
