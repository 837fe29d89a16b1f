# Windows x86_64 cross build of the same sources: the Windows suite runs it under 64-bit Wine,
# which a kernel without 32-bit support still runs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
