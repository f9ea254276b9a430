# Cross-build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# builds QXUPSSDK.dll (with its import library QXUPSSDK.lib), upsctl.exe and,
# with QXUPS_BUILD_TESTS, the API tests to run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QXUPS_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QXUPS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QXUPS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QXUPS_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${QXUPS_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump for PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${QXUPS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libgcc, libstdc++, winpthread) is linked in, so
# that the DLL and the programs need nothing beside them but system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
