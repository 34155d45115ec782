# Cross build for 32-bit Windows (32-bit Outlook, common in companies) with
# mingw-w64 (Debian g++-mingw-w64-i686-posix). Its tests run under Wine's
# 32-bit side (Debian wine32 from the i386 architecture).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VARNOX_MINGW_TRIPLE i686-w64-mingw32)
set(VARNOX_WIDL_BITS --win32)
# Floating point in SSE2 registers, as on x86-64: the x87 unit's 80-bit
# intermediates would round the word probabilities and scores differently,
# so the 32-bit add-in would judge and write the word database otherwise
# than the 64-bit one. (Every processor that runs a 32-bit Outlook of this
# century has SSE2; Windows 8 and later require it.)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
# The four exports are stdcall (decorated @N); the .def names them plain.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--enable-stdcall-fixup")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
