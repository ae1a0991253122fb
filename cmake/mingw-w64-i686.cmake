# 32-bit Windows: the same modules and tools for 32-bit applications.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZELK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# The .def files name the exports without their stdcall suffixes; that is what 32-bit
# Windows expects of DllRegisterServer and the hook procedures.
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--enable-stdcall-fixup")
string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " -Wl,--enable-stdcall-fixup")
