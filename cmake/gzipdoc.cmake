# SPDX-License-Identifier: MIT
# Writes OUT, the file IN compressed by gzip -9n (no name, no time stamp, so
# the bytes depend on the contents alone). With VERSION set, IN is a manual
# page: its .TH line's footer becomes "kilnfont VERSION" on the way.
#   cmake -DIN=... -DOUT=... [-DVERSION=...] -DGZIP=... -P gzipdoc.cmake
file(READ ${IN} text)
if(DEFINED VERSION)
  # The .TH line: .TH TITLE SECTION DATE SOURCE [MANUAL]; the source (the
  # footer's left part) is kilnfont, with or without a version.
  set(re "^(\n?\\.TH +[^ ]+ +[^ ]+ +(\"[^\"]*\"|[^ ]+) +)(\"kilnfont[^\"]*\"|kilnfont)( |$)")
  string(REGEX MATCH "(^|\n)\\.TH [^\n]*" th "${text}")
  if(NOT th MATCHES "${re}")
    message(FATAL_ERROR "${IN}: no .TH line whose fourth field is kilnfont: '${th}'")
  endif()
  string(REGEX REPLACE "${re}" "\\1\"kilnfont ${VERSION}\"\\4" new "${th}")
  string(REPLACE "${th}" "${new}" text "${text}")
endif()
get_filename_component(name ${OUT} NAME_WLE)
get_filename_component(dir ${OUT} DIRECTORY)
file(WRITE ${dir}/${name} "${text}")
execute_process(COMMAND ${GZIP} -9nf ${dir}/${name} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip -9n ${dir}/${name} failed")
endif()
