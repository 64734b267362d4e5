# Run by cpack once it has made the package, before it copies it into the
# package folder: the ZIP is rewritten in canonical form (canonical_zip.py),
# the same bytes for the same files. CMake 3.25's archive writer adds files in
# the order the file system lists them, records the packer's uid and gid, the
# umask's permissions and MS-DOS times in the local time zone.
foreach(zip ${CPACK_PACKAGE_FILES})
    execute_process(COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/canonical_zip.py ${zip} ${CPACK_QD_SOURCE_DATE_EPOCH}
        RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "canonical_zip.py could not rewrite ${zip}")
    endif()
endforeach()
