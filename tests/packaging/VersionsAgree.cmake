# Reads the version from each place a user sees it and fails unless all are the same:
# holvanectl --version, the About box's version text, the packages' version and the newest
# entry of the packages' changelog.
execute_process(COMMAND ${HOLVANECTL} --version OUTPUT_VARIABLE output RESULT_VARIABLE status
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0 OR NOT output MATCHES "^holvanectl ([0-9][0-9.]*)$")
    message(FATAL_ERROR "holvanectl --version: status ${status}, '${output}'")
endif()
set(versions "holvanectl --version=${CMAKE_MATCH_1}")

if(EXISTS ${ABOUT_VERSION_HEADER})
    file(STRINGS ${ABOUT_VERSION_HEADER} line REGEX "HolvaneProductVersion")
    if(NOT line MATCHES "\"([^\"]*)\"")
        message(FATAL_ERROR "no version in ${ABOUT_VERSION_HEADER}")
    endif()
    list(APPEND versions "About box=${CMAKE_MATCH_1}")
endif()

include(${CPACK_CONFIG})
list(APPEND versions "package=${CPACK_PACKAGE_VERSION}")
if(DEFINED CPACK_DEBIAN_PACKAGE_VERSION)
    list(APPEND versions "Debian package=${CPACK_DEBIAN_PACKAGE_VERSION}")
endif()

file(STRINGS ${CHANGELOG} top LIMIT_COUNT 1)
if(NOT top MATCHES "^[a-z0-9.+-]+ \\(([^)]*)\\)")
    message(FATAL_ERROR "no version in the first line of ${CHANGELOG}: '${top}'")
endif()
list(APPEND versions "changelog=${CMAKE_MATCH_1}")

list(GET versions 0 first)
string(REGEX REPLACE "^[^=]*=" "" first "${first}")
foreach(entry IN LISTS versions)
    string(REGEX REPLACE "^[^=]*=" "" version "${entry}")
    if(NOT version STREQUAL first)
        string(REPLACE ";" ", " versions "${versions}")
        message(FATAL_ERROR "the versions differ: ${versions}")
    endif()
endforeach()
