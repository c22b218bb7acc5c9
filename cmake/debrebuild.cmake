# SPDX-License-Identifier: MIT
# Run by cpack once it has made the .deb (CPACK_POST_BUILD_SCRIPTS): the
# package is unpacked and packed again by dpkg-deb, whose archive depends on
# the files alone. cpack's own takes the modes of its members (such as
# debian-binary) from the builder's umask. dpkg-deb dates every member and
# file by SOURCE_DATE_EPOCH, which CPackProject.cmake set for cpack.
find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  # Unpacked by anyone but root, the modes lose what the umask masks; the
  # package's files are all rw-r--r-- or rwxr-xr-x.
  execute_process(COMMAND chmod -R u=rwX,go=rX ${tree} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zgzip -z9 --build ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
