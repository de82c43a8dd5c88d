# The Debian package, built by scripts/package with CPack.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME ${TABLINOR_EXECUTABLE})
set(CPACK_PACKAGE_VENDOR "${TABLINOR_PRODUCT_NAME} developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${TABLINOR_SUMMARY}")
# Debian shows the description as it is: no line longer than 80 columns with its leading space.
set(CPACK_PACKAGE_DESCRIPTION
    "Type a number of up to seven characters and click the picture: a second\n\
window shows each digit with the consonant letters that the Spanish phonetic\n\
digit code gives it.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${TABLINOR_HOMEPAGE})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TABLINOR_MAINTAINER}")
# The libraries come from the binary itself; the fonts the windows were designed in do not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine")
# The same source packs the same bytes: the folders' modes do not follow the packager's umask, and
# the archives carry the last commit's time (cmake/source_date.cmake, read by cpack).
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/source_date.cmake)
include(CPack)

# What a Debian system expects beside a program: its manual page, and in its documentation folder
# the copyright and licence and a changelog of the version.
set(package_docs ${PROJECT_BINARY_DIR}/package-docs)
configure_file(app/${TABLINOR_EXECUTABLE}.1.in ${package_docs}/${TABLINOR_EXECUTABLE}.1 @ONLY)

# Debian changelogs date their entries as e-mail does.
execute_process(COMMAND date --utc --rfc-email --date=${TABLINOR_RELEASE_DATE}
                OUTPUT_VARIABLE TABLINOR_RELEASE_DATE_RFC5322 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(app/changelog.in ${package_docs}/changelog @ONLY)

# The copyright file takes the holder and the licence's text from LICENSE, indented by one space,
# with "." for an empty line.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
file(READ LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" copyright_line "${licence}")
set(TABLINOR_COPYRIGHT ${CMAKE_MATCH_1})
string(FIND "${licence}" "Permission is hereby granted" permission_start)
string(SUBSTRING "${licence}" ${permission_start} -1 permission)
string(STRIP "${permission}" permission)
string(REPLACE "\n\n" "\n.\n" permission "${permission}")
string(REPLACE "\n" "\n " TABLINOR_LICENSE_TEXT " ${permission}")
configure_file(app/copyright.in ${package_docs}/copyright @ONLY)

# Compressed as hard as gzip can, and without the name and time that would change the bytes of
# every build.
set(gzipped_docs)
foreach(doc IN ITEMS ${TABLINOR_EXECUTABLE}.1 changelog)
    add_custom_command(OUTPUT ${package_docs}/${doc}.gz
                       COMMAND gzip -9 -n -k -f ${doc}
                       DEPENDS ${package_docs}/${doc}
                       WORKING_DIRECTORY ${package_docs}
                       VERBATIM)
    list(APPEND gzipped_docs ${package_docs}/${doc}.gz)
endforeach()
add_custom_target(package_docs ALL DEPENDS ${gzipped_docs})

install(FILES ${package_docs}/${TABLINOR_EXECUTABLE}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${package_docs}/copyright ${package_docs}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TABLINOR_EXECUTABLE})
