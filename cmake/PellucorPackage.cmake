# The Debian package, installing into /usr: `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME pellucor)
set(CPACK_PACKAGE_VENDOR Pellucor)
set(CPACK_PACKAGE_CONTACT "Pellucor developers <pellucor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "matches a child table against a parent table in spreadsheet workbooks")
set(CPACK_PACKAGE_DESCRIPTION
    "Pellucor looks up each row of a child table (子表) in a parent table (父表) by a key column and\
 writes the parent's value, or whether the values agree, as a new column. The spreadsheet work is done by\
 a private LibreOffice Calc process.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Libraries the program links come from dpkg-shlibdeps; what it only starts or loads at run time is
# named here: the office with the core that can show windows, its Chinese user interface, Qt's
# platform plugins and Chinese translations, and a font with Chinese characters.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libreoffice-calc, libreoffice-core, libreoffice-l10n-zh-cn, qt6-qpa-plugins, qt6-translations-l10n, fonts-wqy-microhei")
include(CPack)
