# Runs inside CPack after the zip is written (still in CPack's own folder,
# from where CPack then copies it to the build directory): SHA256SUMS in the
# build directory, in the format of `sha256sum -c`, for the zip and for the
# exe as unzipped beside it.
set(lines "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(name "${package}" NAME)
    file(SHA256 "${package}" hash)
    string(APPEND lines "${hash}  ${name}\n")
endforeach()
file(SHA256 "${CPACK_TEMPORARY_DIRECTORY}/UlvexTandrel.exe" hash)
string(APPEND lines "${hash}  ${CPACK_PACKAGE_FILE_NAME}/UlvexTandrel.exe\n")
file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${lines}")
