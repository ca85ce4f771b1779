# The Windows installer (NSIS) and a portable zip, made by CPack from the same install rules.
# Qt and the compiler's runtime are linked into zelvax.exe; beside it go only Qt's own texts in
# Czech (the fields' context menus, like the window), from the host's Qt of the same version,
# and the qt.conf through which Qt finds them.
find_file(ZELVAX_QTBASE_CS qtbase_cs.qm PATHS /usr/share/qt6/translations
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
install(FILES ${ZELVAX_QTBASE_CS} DESTINATION translations)
file(WRITE ${CMAKE_BINARY_DIR}/qt.conf "[Paths]\nPrefix = .\nTranslations = translations\n")
install(FILES ${CMAKE_BINARY_DIR}/qt.conf DESTINATION .)

# The licences: the program's own (MIT), and for the Qt linked into it the LGPL notice with
# where its source is and how to relink, the LGPL and GPL texts and the third-party parts'
# licences (scripts/windows.sh writes those from Qt's source into the Qt prefix), and the
# MinGW-w64 runtime's. The installer's licence page shows the first two.
set(qt_licences ${ZELVAX_QT_WINDOWS}/licences)
if(NOT EXISTS ${qt_licences}/Qt-third-party.txt)
  message(FATAL_ERROR "${qt_licences} lacks Qt's licence texts: scripts/windows.sh writes them")
endif()
find_file(ZELVAX_MINGW_COPYRIGHT copyright PATHS /usr/share/doc/mingw-w64-x86-64-dev
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
# The notice names the Qt inside and the Debian source it was built from.
file(STRINGS ${qt_licences}/debian-source-version QT_DEBIAN_SOURCE LIMIT_COUNT 1)
set(QT_VERSION ${Qt6_VERSION})
set(qt_notice ${CMAKE_BINARY_DIR}/Qt-notice.txt)
configure_file(${PROJECT_SOURCE_DIR}/package/windows-qt-notice.txt.in ${qt_notice} @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${qt_notice} DESTINATION . RENAME Qt-notice.txt)
install(DIRECTORY ${qt_licences}/ DESTINATION licences PATTERN debian-source-version EXCLUDE)
install(FILES ${ZELVAX_MINGW_COPYRIGHT} DESTINATION licences RENAME mingw-w64-runtime.txt)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE mit_licence)
file(READ ${qt_notice} qt_notice_text)
file(WRITE ${CMAKE_BINARY_DIR}/licence-page.txt "${mit_licence}\n\n${qt_notice_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/LICENSE ${qt_licences}/debian-source-version)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME ZELVAX)
set(CPACK_PACKAGE_VENDOR "ZELVAX developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZELVAX – teploměr na sériové lince (serial thermometer display)")
set(CPACK_PACKAGE_FILE_NAME zelvax-${PROJECT_VERSION}-windows-x64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ZELVAX)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_BINARY_DIR}/licence-page.txt)
set(CPACK_STRIP_FILES ON)
# A Start menu entry, an entry in the system's list of programs with the icon, and an
# uninstaller; a new version replaces the old one in place.
set(CPACK_PACKAGE_EXECUTABLES zelvax ZELVAX)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME zelvax.exe)
set(CPACK_NSIS_DISPLAY_NAME ZELVAX)
set(CPACK_NSIS_PACKAGE_NAME ZELVAX)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/app/zelvax.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_BINARY_DIR}/app/zelvax.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# CPack hands these values to the installer's script as they are written here.
set(CPACK_VERBATIM_VARIABLES ON)
# An administrator's script finds how to remove it silently.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "WriteRegStr SHCTX \
'Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZELVAX' 'QuietUninstallString' \
'\"$INSTDIR\\Uninstall.exe\" /S'")
# A 64-bit installer for the 64-bit program: it installs into the 64-bit Program Files and
# registry view without redirection. It records no file's time (CPack writes one of its pages
# just before packing), so that two builds of one commit give the same bytes. The
# uninstaller, before the installer takes it in, and the installer are signed when a
# certificate is given (package/windows-sign.sh); zelvax.exe is signed, and the files get the
# last commit's time for the zip, once they are staged.
set(sign "sh '${PROJECT_SOURCE_DIR}/package/windows-sign.sh'")
set(CPACK_NSIS_DEFINES "Target amd64-unicode
SetDateSave off
!uninstfinalize \"${sign} '%1'\"
!finalize \"${sign} '%1'\"")
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/package/windows-staged.cmake)
include(CPack)
