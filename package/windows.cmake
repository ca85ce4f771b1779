# The Windows installer (NSIS) and a portable zip, made by CPack from the same install rules.
# Qt and the compiler's runtime are linked into zelvax.exe; beside it go only Qt's own texts in
# Czech (the fields' context menus, like the window), from the host's Qt of the same version,
# and the qt.conf through which Qt finds them.
find_file(ZELVAX_QTBASE_CS qtbase_cs.qm PATHS /usr/share/qt6/translations
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
install(FILES ${ZELVAX_QTBASE_CS} DESTINATION translations)
file(WRITE ${CMAKE_BINARY_DIR}/qt.conf "[Paths]\nPrefix = .\nTranslations = translations\n")
install(FILES ${CMAKE_BINARY_DIR}/qt.conf DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME ZELVAX)
set(CPACK_PACKAGE_VENDOR "ZELVAX developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZELVAX – teploměr na sériové lince (serial thermometer display)")
set(CPACK_PACKAGE_FILE_NAME zelvax-${PROJECT_VERSION}-windows-x64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY ZELVAX)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
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
# A 64-bit installer for the 64-bit program: it installs into the 64-bit Program Files and
# registry view without redirection.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
include(CPack)
