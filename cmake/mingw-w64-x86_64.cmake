# Cross-compiling the Windows programs with mingw-w64 (Debian's
# g++-mingw-w64-x86-64). The posix thread model gives std::thread and
# std::mutex; the runtime is linked statically so each .exe runs on its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${TRV_MINGW_PREFIX}-g++-posix)
set(CMAKE_C_COMPILER ${TRV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_RC_COMPILER ${TRV_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TRV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
