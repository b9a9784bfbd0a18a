# Same source, same bytes: the time and the paths that builds would otherwise write into outputs.
#
# VELLUMINE_SOURCE_DATE_EPOCH is the time every output is stamped with: SOURCE_DATE_EPOCH when
# the caller sets it, else the last commit's time, from the source archive or from git. Stamps
# such as a file's packing time or its modification time would differ on every build and in
# every clone; the commit's time is the same wherever the commit is built.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(VELLUMINE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    include(${CMAKE_CURRENT_LIST_DIR}/source_date_epoch.cmake)
    set(VELLUMINE_SOURCE_DATE_EPOCH "${vellumine_archived_epoch}")
    if(NOT VELLUMINE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        find_package(Git QUIET)
        if(GIT_FOUND)
            execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                OUTPUT_VARIABLE VELLUMINE_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET)
        endif()
    endif()
endif()
if(NOT VELLUMINE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(STATUS "No commit time (no git and no source archive): outputs carry build times")
    set(VELLUMINE_SOURCE_DATE_EPOCH "")
else()
    # rcc stamps each resource with its file's modification time, which is the checkout's;
    # it takes SOURCE_DATE_EPOCH instead (Qt 6.4), so generating steps run with it set.
    set_property(GLOBAL PROPERTY RULE_LAUNCH_CUSTOM
        "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VELLUMINE_SOURCE_DATE_EPOCH}")
endif()

# Source and build folders are named relative to the tree in debug information, __FILE__ and
# the build ID computed over them, as if every build ran in the same place. The build folder's
# map comes last so that it wins for a build folder inside the source tree. Debug builds keep
# whole paths, for the debugger to find the sources from anywhere.
set(vellumine_not_debug "$<NOT:$<CONFIG:Debug>>")
add_compile_options("$<${vellumine_not_debug}:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
    "$<${vellumine_not_debug}:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")

# The PE header has a time stamp field that mingw-w64's linker fills with the link time.
if(WIN32)
    add_link_options(LINKER:--no-insert-timestamp)
endif()

# Folders an install creates get the usual mode whatever the umask, so packages do not differ
# (or trip lintian) with a group-writable umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
