# Host build: the tool's sources against the simulated Windows machine, and
# the tests that drive it.
add_library(winsim STATIC
    winsim/src/handles.cpp
    winsim/src/machine.cpp
    winsim/src/registry.cpp
    winsim/src/security.cpp
    winsim/src/system.cpp
)
target_include_directories(winsim PUBLIC winsim/include)

add_library(ulvex_core STATIC ${ULVEX_SOURCES})
target_include_directories(ulvex_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(ulvex_core PUBLIC winsim)

option(ULVEX_BUILD_TESTS "Build the host tests" ON)
option(ULVEX_BUILD_FUZZERS "Build the libFuzzer targets (clang)" OFF)
option(ULVEX_BUILD_BENCHMARKS "Build the Google Benchmark targets" OFF)

if(ULVEX_BUILD_TESTS)
    enable_testing()
    add_subdirectory(tests/host)
endif()
if(ULVEX_BUILD_FUZZERS)
    add_subdirectory(tests/fuzz)
endif()
if(ULVEX_BUILD_BENCHMARKS)
    add_subdirectory(bench)
endif()
