# Cross-build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, which std::thread and std::mutex need). The runtime is linked in
# statically so that the .exe runs on a bare Windows without extra DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread inside the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run the cross-built executables under Wine.
find_program(MARVENA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MARVENA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MARVENA_WINE})
endif()

# GCC 12 warns falsely about std::string concatenation at -O2 (GCC bug
# 105329, "-Wrestrict" in char_traits); the Linux compiler of this release
# does not reach that path.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
