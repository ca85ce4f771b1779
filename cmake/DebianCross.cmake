# Cross-compiling to another Debian architecture through multiarch: the target's libraries
# are installed beside the host's under /usr, so there is no sysroot, and Qt's host tools
# (moc, uic, rcc) stay the host's own. ZELVAX_DEBIAN_ARCH names the target: arm64 or armhf.
# The compiler checks' own small projects need the architecture too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZELVAX_DEBIAN_ARCH)
if(ZELVAX_DEBIAN_ARCH STREQUAL "arm64")
  set(triple aarch64-linux-gnu)
  set(CMAKE_SYSTEM_PROCESSOR aarch64)
  set(emulator qemu-aarch64)
elseif(ZELVAX_DEBIAN_ARCH STREQUAL "armhf")
  set(triple arm-linux-gnueabihf)
  set(CMAKE_SYSTEM_PROCESSOR armv7l)
  set(emulator qemu-arm)
else()
  message(FATAL_ERROR "ZELVAX_DEBIAN_ARCH must be arm64 or armhf, not '${ZELVAX_DEBIAN_ARCH}'")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})
set(PKG_CONFIG_EXECUTABLE ${triple}-pkg-config CACHE FILEPATH "The target's pkg-config")
# Build tools (rsvg-convert, gzip, Qt's generators) are the host's; libraries and headers are
# found in the target's multiarch folders first.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# Test programs run under qemu-user. It finds the target's loader and libraries in their
# multiarch places, so no -L is needed (the cross toolchain's own loader would not match).
set(CMAKE_CROSSCOMPILING_EMULATOR ${emulator})
