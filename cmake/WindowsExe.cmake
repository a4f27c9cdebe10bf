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
endif()

# End-to-end tests run the exe under Wine.
enable_testing()
if(EXISTS ${PROJECT_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
    add_subdirectory(tests/e2e)
endif()
