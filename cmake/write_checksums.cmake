# Run by CPack once it has made the archives (CPACK_POST_BUILD_SCRIPTS, with
# CPACK_PACKAGE_FILES naming them in CPack's own working folder, before they
# are copied out to CPACK_PACKAGE_DIRECTORY): writes SHA256SUMS into the
# folder they are copied to, a line
# "<SHA-256>  <file name>" for each, as sha256sum -c and shasum -a 256 -c read
# it. The list is written whole to a new file and moved over the old one, so
# that no run ended half way leaves a list that disagrees with the archives.
if(NOT CPACK_PACKAGE_FILES)
  message(FATAL_ERROR "CPack made no archive to write the checksums of")
endif()
set(checksums "")
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
  file(SHA256 "${archive}" checksum)
  get_filename_component(name "${archive}" NAME)
  string(APPEND checksums "${checksum}  ${name}\n")
endforeach()
set(folder "${CPACK_PACKAGE_DIRECTORY}")
if(NOT folder)
  list(GET CPACK_PACKAGE_FILES 0 first)
  get_filename_component(folder "${first}" DIRECTORY)
endif()
file(WRITE "${folder}/SHA256SUMS.new" "${checksums}")
file(RENAME "${folder}/SHA256SUMS.new" "${folder}/SHA256SUMS")
