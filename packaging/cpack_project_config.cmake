# Read by cpack before it packs: stamps the package with the source's time, not the packing's.
# CPack's DEB generator (CMake 3.25) gives every member, file and folder the time in
# SOURCE_DATE_EPOCH when that is set, and the current time otherwise. A value the caller exports
# wins over the one found when the build was configured.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT CPACK_VELLUMINE_SOURCE_DATE_EPOCH STREQUAL "")
    set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VELLUMINE_SOURCE_DATE_EPOCH})
endif()
