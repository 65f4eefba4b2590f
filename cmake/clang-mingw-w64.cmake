# Cross-compiling for 64-bit Windows with Debian's clang 14 and lld, over the
# headers and libraries of mingw-w64 and the C++ library of its posix-threads
# g++ (the same ones cmake/mingw-w64.cmake builds with), resources by llvm-windres.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(llvm_bin /usr/lib/llvm-14/bin)
set(CMAKE_C_COMPILER ${llvm_bin}/clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER ${llvm_bin}/clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER ${llvm_bin}/llvm-windres)
set(CMAKE_AR ${llvm_bin}/llvm-ar)
set(CMAKE_RANLIB ${llvm_bin}/llvm-ranlib)

# clang does not recognise Debian's gcc folder name (12-posix) as a gcc
# installation, so libstdc++ is named to it: its headers, then the folder of
# its libraries. libstdc++ of the posix flavour needs winpthread; lld takes
# an archive from anywhere on the command line.
file(GLOB mingw_gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${triple}/*-posix)
list(SORT mingw_gcc_dirs COMPARE NATURAL)
list(POP_BACK mingw_gcc_dirs mingw_gcc_dir)
if(NOT mingw_gcc_dir)
  message(FATAL_ERROR "no /usr/lib/gcc/${triple}/<version>-posix: install g++-mingw-w64-x86-64-posix")
endif()
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${mingw_gcc_dir}/include/c++ -isystem ${mingw_gcc_dir}/include/c++/${triple}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${mingw_gcc_dir} -lwinpthread")
set(CMAKE_RC_FLAGS_INIT "--target=pe-x86-64")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests of the cross-compiled programs run under Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
