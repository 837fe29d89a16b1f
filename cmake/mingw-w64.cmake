# The MinGW-w64 cross build, for the CMAKE_SYSTEM_PROCESSOR that the including toolchain file
# sets (mingw-w64-i686.cmake, mingw-w64-x86_64.cmake). The -posix compilers: the default
# win32-threads variant of Debian's MinGW-w64 has no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw_triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The stack protector for everything this toolchain builds; the Windows definitions are the
# targets' own (padsmith_house_flags), so an MSVC build gets them too.
set(CMAKE_C_FLAGS_INIT "-fstack-protector-strong")
set(CMAKE_CXX_FLAGS_INIT "-fstack-protector-strong")
# One self-contained executable: winpthread, libgcc, libstdc++ and libssp linked in. ASLR and DEP
# are Debian's linker defaults; saying so keeps them on whatever binutils builds us.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -fstack-protector-strong -Wl,--dynamicbase,--nxcompat")
