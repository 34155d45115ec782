# Cross build for Windows with Debian's mingw-w64 (posix threads), shared by
# the 64-bit and the 32-bit toolchain files, which set VARNOX_MINGW_TRIPLE,
# CMAKE_SYSTEM_PROCESSOR and VARNOX_WIDL_BITS (widl's pointer size for the
# type library) before including it.
#
# Everything is linked statically (-static), so the DLL and the test programs
# need no mingw runtime DLL at run time, on Windows or under Wine. Test
# programs run through the Wine wrapper that win/CMakeLists.txt writes into
# the build folder (a throw-away prefix of its own, see cmake/wine-run.sh.in).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VARNOX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARNOX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VARNOX_MINGW_TRIPLE}-windres)
set(VARNOX_WIDL ${VARNOX_MINGW_TRIPLE}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNOX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -static")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -static")
string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " -static")

# Windows 7 API level: everything the add-in calls exists there.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
