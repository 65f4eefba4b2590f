# cmake -DPROGRAM=<exe> -DLIMIT=<bytes> -P check_small_program.cmake
# Fails when the program is larger than LIMIT bytes or holds a text that only
# libstdc++'s exception handling, string or container code carries: its
# terminate handler's messages, the names its string and vector members
# report failures by, the type names of its exceptions. Such code comes in
# with one library call that can throw or allocate, and is most of the size.
if(NOT PROGRAM OR NOT LIMIT)
  message(FATAL_ERROR "usage: cmake -DPROGRAM=<exe> -DLIMIT=<bytes> -P check_small_program.cmake")
endif()
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "${PROGRAM} does not exist")
endif()

set(failed FALSE)
file(SIZE "${PROGRAM}" size)
if(size GREATER LIMIT)
  message(SEND_ERROR "${PROGRAM} is ${size} bytes, more than ${LIMIT}")
  set(failed TRUE)
endif()

set(runtime_texts
  "terminate called"
  "basic_string::"
  "vector::"
  "std::bad_alloc"
  "St9exception")
foreach(text IN LISTS runtime_texts)
  string(REPLACE "." "\\." pattern "${text}")
  file(STRINGS "${PROGRAM}" found REGEX "${pattern}" LIMIT_COUNT 1)
  if(found)
    message(SEND_ERROR "${PROGRAM} holds \"${text}\" (in \"${found}\"): libstdc++ code is linked in")
    set(failed TRUE)
  endif()
endforeach()

if(NOT failed)
  message(STATUS "${PROGRAM}: ${size} bytes, no libstdc++ exception or string code")
endif()
