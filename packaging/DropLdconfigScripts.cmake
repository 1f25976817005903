# Run by cpack after the packages are made (CPACK_PACKAGE_FILES names them). CPack gives the
# package of a shared library a postinst and a postrm that call ldconfig; Debian runs ldconfig
# through the library package's dpkg trigger instead, so the library's package is unpacked,
# those two scripts are removed, and it is packed again.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name "${deb}" NAME)
    if(NOT name MATCHES "^${CPACK_HOLVANE_LIBRARY_PACKAGE}_")
        continue()
    endif()
    set(tree "${CPACK_TOPLEVEL_DIRECTORY}/repack")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND dpkg-deb --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
    execute_process(COMMAND dpkg-deb --root-owner-group --build "${tree}" "${deb}"
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${tree}")
endforeach()
