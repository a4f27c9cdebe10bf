# Release package of one Windows build: `cmake --build <dir> --target package`
# writes UlvexTandrel-<version>-<x64|x86>.zip, holding the exe and the
# administrators' README, and SHA256SUMS beside it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ULVEX_PACKAGE_ARCH x64)
else()
    set(ULVEX_PACKAGE_ARCH x86)
endif()

# Notepad before Windows 10 shows a file with bare line feeds as one line.
configure_file(packaging/README.txt ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)

install(TARGETS UlvexTandrel RUNTIME DESTINATION . COMPONENT Release)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION . COMPONENT Release)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME UlvexTandrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME UlvexTandrel-${PROJECT_VERSION}-${ULVEX_PACKAGE_ARCH})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Only the exe and the README, whatever else a subdirectory may install.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Release;/")
# A fixed date on every file so that the same exe always gives the same zip,
# and the checksums written after it.
set(CPACK_ULVEX_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/fix-dates.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/write-sha256sums.cmake)
include(CPack)
