# Makes the 32-bit import library of Tovra.dll. The DLL exports the undecorated names of the .def
# file, while callers compiled with tovra.h refer to the standard-call symbols name@n: the
# import library maps each name@n to its undecorated export. The @n of each name is read from
# the library's objects.
#   cmake -DNM=... -DDLLTOOL=... -DDEF=tovra.def -DOBJECTS="a.obj|b.obj" -DDLL=Tovra.dll
#         -DOUT_DEF=... -DOUT_LIB=... -P TovraImportLibrary.cmake
string(REPLACE "|" ";" objects "${OBJECTS}")
execute_process(COMMAND ${NM} --defined-only ${objects} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on the library's objects")
endif()
file(STRINGS "${DEF}" lines)
set(text "LIBRARY ${DLL}\nEXPORTS\n")
foreach(line IN LISTS lines)
    string(STRIP "${line}" name)
    if(NOT name MATCHES "^[A-Za-z_][A-Za-z0-9_]*$" OR name STREQUAL "EXPORTS")
        continue()
    endif()
    if(NOT symbols MATCHES " T _${name}(@[0-9]+)\n")
        message(FATAL_ERROR "No standard-call symbol _${name}@n among the library's objects")
    endif()
    string(APPEND text "    ${name}${CMAKE_MATCH_1}\n")
endforeach()
file(WRITE "${OUT_DEF}" "${text}")
execute_process(COMMAND ${DLLTOOL} --kill-at -d "${OUT_DEF}" -D "${DLL}" -l "${OUT_LIB}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${DLLTOOL} could not make ${OUT_LIB}")
endif()
