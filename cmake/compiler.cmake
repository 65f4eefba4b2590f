# Every compiler- and toolchain-specific setting of the project lives here.
# projport_code_options(target) gives one of the program's own targets the
# project's warnings and the no-exceptions rule.

if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _CRT_SECURE_NO_WARNINGS)
elseif(WIN32)
  # The runtime's own printf family: "%ls" and "%hs" mean what Windows says they mean.
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN __USE_MINGW_ANSI_STDIO=0)
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s)
  add_compile_options(-ffunction-sections -fdata-sections)
endif()

function(projport_code_options target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /EHs-c- /GR- /utf-8)
    target_compile_definitions(${target} PRIVATE _HAS_EXCEPTIONS=0)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -fno-exceptions -fno-rtti)
  endif()
endfunction()

# The wide GUI entry point (wWinMain) on mingw-w64 needs -municode at link time too.
function(projport_wide_entry target)
  if(MINGW)
    target_compile_options(${target} PRIVATE -municode)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()
