# Cross toolchain: Windows with mingw-w64 (posix threads), static runtime, for
# the processor ORVELA_MINGW_PROCESSOR names: i686 (32-bit) or x86_64 (64-bit).
if(NOT ORVELA_MINGW_PROCESSOR MATCHES "^(i686|x86_64)$")
    message(FATAL_ERROR "ORVELA_MINGW_PROCESSOR must be i686 or x86_64")
endif()
# The compiler checks configure projects of their own, which need it too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVELA_MINGW_PROCESSOR)
set(orvela_mingw_triple ${ORVELA_MINGW_PROCESSOR}-w64-mingw32)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ORVELA_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${orvela_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${orvela_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${orvela_mingw_triple}-windres)
set(CMAKE_AR /usr/bin/${orvela_mingw_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${orvela_mingw_triple}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${orvela_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No mingw runtime DLLs next to our binaries: everything links statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
