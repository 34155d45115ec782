# Cross build for 64-bit Windows (64-bit Outlook) with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARNOX_MINGW_TRIPLE x86_64-w64-mingw32)
set(VARNOX_WIDL_BITS --win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
