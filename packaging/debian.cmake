# SPDX-License-Identifier: GPL-3.0-or-later
# `make package` (or `cpack -G DEB` in a build folder configured with CMAKE_INSTALL_PREFIX=/usr) builds
# mediatar_<version>_amd64.deb. The libraries the executables link are found by dpkg-shlibdeps; what the
# program loads at run time without linking it is named here.
set(MEDIATAR_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/mediatar)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${MEDIATAR_DOC_DIR})
set(MEDIATAR_VERSION ${PROJECT_VERSION})
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${MEDIATAR_GZIP} -9 -n -f -k ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(mediatar_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${MEDIATAR_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mediatar)
set(CPACK_PACKAGE_VENDOR "Médiatár")
set(CPACK_PACKAGE_CONTACT "Médiatár developers <info@mediatar.hu>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.mediatar.hu/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the Tahoma clone the window uses, Qt's own Hungarian
# texts, the SQLite driver behind the catalogue connections, and the platform plugins that open a window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine, qt6-translations-l10n, libqt6sql6-sqlite, qt6-qpa-plugins")
# Opened only when first needed, so the program runs without them and says which one is missing: PostgreSQL's
# client library for catalogues on a server (pipeline mode came with 14), and MediaInfo for reading films. The
# music module beside the program links TagLib, which dpkg-shlibdeps finds there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libpq5 (>= 14), libmediainfo0v5")
# The summary line, then the long description: English first, then the same in Hungarian.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "catalogue of a private collection of music, films, games and programs
Médiatár keeps a catalogue of a private collection: MP3 albums with their
tracks, MP3 compilations, DVD films, films and video clips, games, and
programs. Each category has its own tab; the list filters as you type.
One catalogue is one SQLite file (.tnx or .qvdb); catalogues of the older
Jet format are converted when opened. The user interface is Hungarian.
The package also holds mediatar-catalogue, which creates, converts, exports
and checks catalogue files from the command line.
.
Magyarul: a Médiatár egy magángyűjtemény nyilvántartása: MP3-albumok a
számaikkal, MP3-válogatások, DVD-filmek, filmek és videoklipek, játékok és
programok. Minden kategória külön lapon látható, a lista gépelés közben
szűkül. Egy katalógus egy SQLite-fájl (.tnx vagy .qvdb); a régi, Jet
formátumú katalógusokat megnyitáskor átalakítja. A csomagban van a
mediatar-catalogue parancs is, amely parancssorból hoz létre, alakít át,
exportál és ellenőriz katalógusfájlokat.")
include(CPack)
