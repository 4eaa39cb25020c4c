# The Debian package (`make package`, or cpack -G DEB in the build folder): the install tree
# above under /usr, binaries stripped, dependencies found by dpkg-shlibdeps from the libraries
# the programs link (Qt 6 and the C++ runtime; nothing of pxlib, which only the tests use).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mendrix)
set(CPACK_PACKAGE_VENDOR "Mendrix")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${MENDRIX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check and repair Paradox tables")
set(CPACK_PACKAGE_DESCRIPTION
  "Mendrix checks and repairs Paradox tables: .DB files with their primary and\n\
secondary indexes (.PX, .Xnn, .Ynn, .XGn, .YGn) and .MB blob files. The window\n\
program mendrix and the batch program mendrix-cli run Check & Repair, Verify\n\
and Rebuild All over every table of a database; a rebuild keeps a byte-faithful\n\
backup and replaces the table atomically. mendrix-cli also prints a table's\n\
structure and records and exports them as CSV or JSON.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${MENDRIX_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
