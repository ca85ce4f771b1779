# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (its POSIX-threads flavour, which
# C++ threads need), against a static Qt for Windows whose prefix ZELVAX_QT_WINDOWS names
# (scripts/windows.sh builds it). Qt's generators (moc, uic, rcc) are the host's own, of the
# same Qt version: QT_HOST_PATH points there. Test programs run under Wine.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZELVAX_QT_WINDOWS)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${ZELVAX_QT_WINDOWS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
if(ZELVAX_QT_WINDOWS)
  list(PREPEND CMAKE_PREFIX_PATH ${ZELVAX_QT_WINDOWS})
endif()
# Debian's Qt, whose source the Qt for Windows is built from, links no plugin into a program
# unless asked: a static Qt needs its platform plugin and styles linked in.
set(QT_SKIP_AUTO_PLUGIN_INCLUSION OFF)
set(QT_HOST_PATH /usr CACHE PATH "The host's Qt, whose generators the build runs")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The host Qt's CMake files")

# No DLLs of the compiler's own beside the program: one .exe that runs anywhere; and no time
# stamp in its header, so that two builds of one commit give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
