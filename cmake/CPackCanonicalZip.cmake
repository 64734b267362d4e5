# Run by cpack once it has made the package, before it copies it into the
# package folder: the ZIP is rewritten in canonical form (canonical_zip.py),
# the same bytes for the same files. CMake 3.25's archive writer adds files in
# the order the file system lists them, records the packer's uid and gid, the
# umask's permissions and MS-DOS times in the local time zone.
# The date is SOURCE_DATE_EPOCH as the install step set it for strip
# (cmake/Package.cmake): the build's value after cpack built it, which
# CPACK_QD_SOURCE_DATE_EPOCH, read before, may not be when a new commit
# configured the build again.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH was not set by the install step: '${epoch}'")
endif()
foreach(zip ${CPACK_PACKAGE_FILES})
    execute_process(COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/canonical_zip.py ${zip} ${epoch}
        RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "canonical_zip.py could not rewrite ${zip}")
    endif()
endforeach()
