# The Debian package: `cpack -G DEB` in a release build writes tamsel_<version>_<arch>.deb with
# everything `cmake --install` puts in place under /usr. The Depends line is worked out from the
# binaries' shared libraries by dpkg-shlibdeps (dpkg-dev). The MIME type, the icon, the desktop
# entry and the manual pages need no maintainer scripts: shared-mime-info, hicolor-icon-theme
# and man-db refresh their caches from file triggers on those directories.
set(TAMSEL_PACKAGE_MAINTAINER "Vantrel Software <tamsel@vantrel.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamsel)
set(CPACK_PACKAGE_VENDOR "Vantrel Software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAMSEL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "decode and encode uuencode, xxencode, Base64, BinHex and yEnc in news and mail")
# Lines wrapped by hand ("." is an empty one); CPack indents each for the control file.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Reads saved Usenet articles and mails (one a file, articles one after"
    "another, news server captures, Maildir and MH folders, mbox, MMDF and Babyl"
    "mailboxes) and finds the files encoded in them: uuencode, xxencode, Base64"
    "and other MIME attachments, quoted-printable, BinHex 4.0, yEnc and MIME"
    "message/partial messages, even when split over many parts and files. It"
    "lists what each file lacks and decodes the complete ones into a directory,"
    "never writing outside it and never leaving a partial file. It also encodes"
    "a file as uuencode, xxencode, Base64 or yEnc, whole or in parts."
    "."
    "This package holds the command-line tool tamsel and the desktop program"
    "tamselwin.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAMSEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The desktop program needs a Qt platform plugin to open a window; tamsel does not.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-qpa-plugins)

include(CPack)
