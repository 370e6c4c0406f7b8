# What both mingw-w64 toolchain files share: posix threads, static runtime,
# wide entry. They set CMAKE_SYSTEM_PROCESSOR, the compilers' prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -municode")
# -municode needs wmain, which the compiler checks do not have.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
