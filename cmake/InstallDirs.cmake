# Where `make install` and the Debian package put things (GNU layout under the prefix), and the
# path from the programs' folder to their read-only data, which the installed programs follow
# from wherever they were unpacked.
include(GNUInstallDirs)
set(MENDRIX_DATA_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/mendrix)
file(RELATIVE_PATH MENDRIX_DATA_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/mendrix)
# The desktop entry's, icons' and AppStream component's name.
set(MENDRIX_APP_ID org.mendrix.Mendrix)
