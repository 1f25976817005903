# Fails when a program or library has an empty or relative entry in its run path (RUNPATH or
# RPATH): the dynamic loader takes such an entry from the current folder, so whoever controls
# that folder could put a library of theirs into the program. Entries must be absolute or begin
# with $ORIGIN (the folder of the file itself).
#
#   cmake -DBUILD_DIR=<build> -DREADELF=<readelf> -DINSTALL_DIR=<scratch> -P CheckRunPaths.cmake
#
# Looks at every ELF file of the build tree (object files aside), then at every one that
# `cmake --install` puts below INSTALL_DIR.

cmake_minimum_required(VERSION 3.25)

function(check_folder folder result)
    file(GLOB_RECURSE files LIST_DIRECTORIES false "${folder}/*")
    set(checked 0)
    set(faults "")
    foreach(file IN LISTS files)
        if(file MATCHES "/CMakeFiles/" OR IS_SYMLINK "${file}")
            continue()
        endif()
        file(READ "${file}" magic LIMIT 4 HEX)
        if(NOT magic STREQUAL "7f454c46")
            continue()
        endif()
        math(EXPR checked "${checked} + 1")
        execute_process(COMMAND "${READELF}" -d "${file}" OUTPUT_VARIABLE dynamic
                        RESULT_VARIABLE failed ERROR_QUIET)
        if(failed)
            string(APPEND faults "  ${file}: readelf failed\n")
            continue()
        endif()
        string(REGEX MATCHALL "\\((RUNPATH|RPATH)\\)[^\n]*\\[[^]\n]*\\]" entries "${dynamic}")
        foreach(entry IN LISTS entries)
            string(REGEX REPLACE "^.*\\[([^]]*)\\]$" "\\1" path "${entry}")
            # Split by hand: a list would drop the empty entries this looks for.
            set(rest "${path}")
            while(TRUE)
                string(FIND "${rest}" ":" colon)
                if(colon EQUAL -1)
                    set(part "${rest}")
                else()
                    string(SUBSTRING "${rest}" 0 ${colon} part)
                endif()
                if(NOT part MATCHES "^(/|\\$ORIGIN|\\$\\{ORIGIN\\})")
                    string(APPEND faults "  ${file}: run path [${path}] has the entry '${part}'\n")
                endif()
                if(colon EQUAL -1)
                    break()
                endif()
                math(EXPR next "${colon} + 1")
                string(SUBSTRING "${rest}" ${next} -1 rest)
            endwhile()
        endforeach()
    endforeach()
    if(checked EQUAL 0)
        string(APPEND faults "  ${folder}: no programs or libraries found\n")
    endif()
    message(STATUS "${folder}: ${checked} programs and libraries looked at")
    set(${result} "${faults}" PARENT_SCOPE)
endfunction()

check_folder("${BUILD_DIR}" build_faults)

file(REMOVE_RECURSE "${INSTALL_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${INSTALL_DIR}"
                OUTPUT_QUIET RESULT_VARIABLE install_failed)
if(install_failed)
    set(install_faults "  cmake --install into ${INSTALL_DIR} failed\n")
else()
    check_folder("${INSTALL_DIR}" install_faults)
endif()
file(REMOVE_RECURSE "${INSTALL_DIR}")

if(build_faults OR install_faults)
    message(FATAL_ERROR "Run paths with empty or relative entries:\n${build_faults}${install_faults}")
endif()
