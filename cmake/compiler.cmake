# Every compiler- and toolchain-specific setting of the project lives here.
# projport_code_options(target) gives one of the program's own targets the
# project's warnings and the no-exceptions rule; with
# PROJPORT_WARNINGS_AS_ERRORS (CI and scripts/test turn it on) a warning
# fails the build. Options go to C++ sources only: a target's .rc goes to the
# resource compiler, which takes none of them.

if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _CRT_SECURE_NO_WARNINGS)
  # CMake's default /EHsc and /GR would clash with /EHs-c- and /GR- (D9025):
  # exception handling is set per target instead, on (/EHsc) for everything
  # but the program's own code (GoogleTest, the tests and their helpers); RTTI
  # is the compiler's default without /GR.
  string(REPLACE "/EHsc" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
  string(REPLACE "/GR" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
  add_compile_options("$<$<AND:$<COMPILE_LANGUAGE:CXX>,$<NOT:$<BOOL:$<TARGET_PROPERTY:PROJPORT_OWN_CODE>>>>:/EHsc>")
  # Sources are UTF-8 (the tests hold UTF-8 literals): without /utf-8 the
  # compiler reads them in the system code page (C4819 on double-byte ones).
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:/utf-8>")
elseif(WIN32)
  # The runtime's own printf family: "%ls" and "%hs" mean what Windows says
  # they mean. libstdc++'s headers switch mingw-w64's printf back on for the
  # standard names (vfwprintf...); the runtime's _vsnwprintf family stays.
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN __USE_MINGW_ANSI_STDIO=0)
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s)
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-ffunction-sections;-fdata-sections>")
endif()

# PROJPORT_STRICT_WARNINGS adds the checks closest to what MSVC's /W4 finds
# beyond -Wall -Wextra (C4456-C4459 shadowing, C4244/C4267 narrowing,
# C4245/C4389 signedness, C4702 unreachable code), so that the clang-mingw
# build stands in for MSVC on Debian; gcc has all but the unreachable code.
# The clang-mingw and native presets set it. MSVC has them in /W4 already.
option(PROJPORT_STRICT_WARNINGS "Also -Wshadow-all -Wconversion -Wsign-conversion -Wunreachable-code-aggressive (clang; gcc: -Wshadow -Wconversion -Wsign-conversion) for the program's own code" OFF)

function(projport_code_options target)
  if(MSVC)
    set_target_properties(${target} PROPERTIES PROJPORT_OWN_CODE ON)
    # C4577: noexcept without an exception handling mode, which is the point here.
    set(options /W4 /EHs-c- /GR- /wd4577)
    if(PROJPORT_WARNINGS_AS_ERRORS)
      list(APPEND options /WX)
    endif()
    target_compile_definitions(${target} PRIVATE _HAS_EXCEPTIONS=0)
  else()
    set(options -Wall -Wextra -Wpedantic -fno-exceptions -fno-rtti)
    if(PROJPORT_STRICT_WARNINGS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      list(APPEND options -Wshadow-all -Wconversion -Wsign-conversion -Wunreachable-code-aggressive)
    elseif(PROJPORT_STRICT_WARNINGS AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      list(APPEND options -Wshadow -Wconversion -Wsign-conversion)
    endif()
    if(PROJPORT_WARNINGS_AS_ERRORS)
      list(APPEND options -Werror)
    endif()
  endif()
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${options}>")
endfunction()

# The wide GUI entry point (wWinMain) on mingw-w64 needs -municode at link time too.
function(projport_wide_entry target)
  if(MINGW)
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:-municode>")
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# projport_version_resource(target ORIGINAL_FILENAME <file name> DESCRIPTION <text>
#                           [INTERNAL_NAME <name>])
# The program's VERSIONINFO, numbered from project(VERSION): configures the
# target's own version_info.h from cmake/version_info.h.in, which
# cmake/version_info.rc reads. A program with a resource script of its own
# has it #include "version_info.rc"; a program without one gets that file as
# its resource script. Call it after the target's sources are all given.
function(projport_version_resource target)
  cmake_parse_arguments(arg "" "ORIGINAL_FILENAME;DESCRIPTION;INTERNAL_NAME" "" ${ARGN})
  if(NOT arg_ORIGINAL_FILENAME OR NOT arg_DESCRIPTION)
    message(FATAL_ERROR "projport_version_resource(${target}) needs ORIGINAL_FILENAME and DESCRIPTION")
  endif()
  if(NOT arg_INTERNAL_NAME)
    set(arg_INTERNAL_NAME ${target})
  endif()

  set(version_numbers ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
  list(LENGTH version_numbers count)
  while(count LESS 4)
    list(APPEND version_numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  list(JOIN version_numbers "," PROJPORT_VERSION_NUMBERS)
  list(JOIN version_numbers "." PROJPORT_VERSION_TEXT)
  set(PROJPORT_ORIGINAL_FILENAME ${arg_ORIGINAL_FILENAME})
  set(PROJPORT_DESCRIPTION ${arg_DESCRIPTION})
  set(PROJPORT_INTERNAL_NAME ${arg_INTERNAL_NAME})

  set(header_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_version)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_info.h.in ${header_dir}/version_info.h @ONLY)
  target_include_directories(${target} PRIVATE ${header_dir} ${PROJECT_SOURCE_DIR}/cmake)

  get_target_property(scripts ${target} SOURCES)
  list(FILTER scripts INCLUDE REGEX "\\.rc$")
  if(NOT scripts)
    set(scripts ${PROJECT_SOURCE_DIR}/cmake/version_info.rc)
    target_sources(${target} PRIVATE ${scripts})
  endif()
  # windres and llvm-windres report no dependencies: a new version or a
  # changed template must still rebuild the resources.
  set_property(SOURCE ${scripts} APPEND PROPERTY OBJECT_DEPENDS
               ${header_dir}/version_info.h ${PROJECT_SOURCE_DIR}/cmake/version_info.rc)
endfunction()
