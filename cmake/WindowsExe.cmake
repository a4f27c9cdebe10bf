# Windows build: one self-contained GUI exe that imports only system DLLs.
add_executable(UlvexTandrel WIN32 ${ULVEX_SOURCES})
target_include_directories(UlvexTandrel PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(UlvexTandrel PRIVATE
    # No build paths in the exe.
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
)
target_link_options(UlvexTandrel PRIVATE
    -static
    -static-libgcc
    -static-libstdc++
    -s
    -Wl,--nxcompat
    -Wl,--dynamicbase
    -Wl,--no-insert-timestamp
)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(UlvexTandrel PRIVATE -Wl,--high-entropy-va)
    set(ULVEX_MANIFEST_ARCH amd64)
else()
    set(ULVEX_MANIFEST_ARCH x86)
endif()

# Manifest (elevation, supported systems, themed boxes, DPI) and version
# resource, compiled by windres. Their configured inputs live in the build
# directory, which only the .rc compile sees.
enable_language(RC)
set(ULVEX_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(ULVEX_RESOURCE_DIR ${PROJECT_BINARY_DIR}/resources)
configure_file(app/resources/UlvexTandrel.manifest.in ${ULVEX_RESOURCE_DIR}/UlvexTandrel.manifest @ONLY)
configure_file(app/resources/version.h.in ${ULVEX_RESOURCE_DIR}/version.h @ONLY)
target_sources(UlvexTandrel PRIVATE app/resources/UlvexTandrel.rc)
target_include_directories(UlvexTandrel PRIVATE $<$<COMPILE_LANGUAGE:RC>:${ULVEX_RESOURCE_DIR}>)
set_property(SOURCE app/resources/UlvexTandrel.rc APPEND PROPERTY OBJECT_DEPENDS
    ${ULVEX_RESOURCE_DIR}/UlvexTandrel.manifest ${ULVEX_RESOURCE_DIR}/version.h)

include(cmake/Package.cmake)

# End-to-end tests run the exe under Wine. The release checks' own clean
# builds turn them off: they need only the exe.
option(ULVEX_BUILD_E2E "Build the end-to-end tests under Wine" ON)
enable_testing()
if(ULVEX_BUILD_E2E AND EXISTS ${PROJECT_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
    add_subdirectory(tests/e2e)
endif()
