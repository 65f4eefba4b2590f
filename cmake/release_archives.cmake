# The release archive of this build, made by CPack in the build folder
# (`cmake --build <build folder> --target package`, or cpack there), each
# with a folder of its own name inside:
#   Windows        projport-<version>-win64.zip: projport.exe, projport-cli.exe,
#                  the README, the documents it links to and LICENSE, side by side
#   Linux, macOS   projport-cli-<version>-linux-<processor>.tar.gz or
#                  projport-cli-<version>-macos-<arch>.tar.gz: bin/projport-cli and
#                  share/doc/projport-cli/ with the README and LICENSE, laid out
#                  as a prefix, the way `cmake --install` puts them
# and beside it SHA256SUMS, the archive's checksum as sha256sum -c reads it
# (cmake/write_checksums.cmake).

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME projport)
  set(CPACK_PACKAGE_FILE_NAME projport-${PROJECT_VERSION}-win64)
else()
  if(APPLE)
    list(LENGTH CMAKE_OSX_ARCHITECTURES architectures)
    if(architectures GREATER 1)
      set(archive_system macos-universal)
    elseif(architectures EQUAL 1)
      set(archive_system macos-${CMAKE_OSX_ARCHITECTURES})
    else()
      set(archive_system macos-${CMAKE_SYSTEM_PROCESSOR})
    endif()
  else()
    string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" archive_system)
  endif()
  # The C++ runtime and libgcc linked in: the program needs only the C
  # library (and on Linux no glibc newer than the one it was built with:
  # the release is built on Debian 12).
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(projport-cli PRIVATE -static-libstdc++ -static-libgcc)
  endif()
  install(FILES README.md LICENSE DESTINATION share/doc/projport-cli)
  set(CPACK_GENERATOR TGZ)
  # The archive's program without its symbols, whatever the build type.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_NAME projport-cli)
  set(CPACK_PACKAGE_FILE_NAME projport-cli-${PROJECT_VERSION}-${archive_system})
endif()
set(CPACK_PACKAGE_VENDOR tarnvik)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/write_checksums.cmake)
include(CPack)
