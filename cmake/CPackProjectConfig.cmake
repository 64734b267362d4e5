# Read by cpack before it packs. strip, which it runs on each binary it packs,
# stamps the PE header with SOURCE_DATE_EPOCH (without it, with the time it
# runs): the build's own value (cmake/SourceDate.cmake), whatever the
# environment of the cpack command.
set(ENV{SOURCE_DATE_EPOCH} "${CPACK_QD_SOURCE_DATE_EPOCH}")
