# The Debian package, built by scripts/package with CPack.
set(CPACK_PACKAGE_NAME ${TABLINOR_EXECUTABLE})
set(CPACK_PACKAGE_VENDOR "${TABLINOR_PRODUCT_NAME} developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${TABLINOR_SUMMARY}")
set(CPACK_PACKAGE_DESCRIPTION
    "Type a number of up to seven characters and click the picture: a second window shows each\n\
digit with the consonant letters that the Spanish phonetic digit code gives it.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${TABLINOR_HOMEPAGE})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TABLINOR_PRODUCT_NAME} developers")
# The libraries come from the binary itself; the fonts the windows were designed in do not.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine")
include(CPack)
