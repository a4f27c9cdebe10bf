# Runs inside CPack after the files are staged and before they are zipped:
# gives every staged file and folder the same date, so the zip does not
# record when it was built. The date is SOURCE_DATE_EPOCH when set, else
# the time of the last commit, else 1 January 1980 (the oldest a zip holds).
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(NOT epoch MATCHES "^[0-9]+$")
    execute_process(
        COMMAND git -C "${CPACK_ULVEX_SOURCE_DIR}" log -1 --format=%ct
        OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET RESULT_VARIABLE git_result)
    if(NOT git_result EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
        set(epoch 315532800)
    endif()
endif()

file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
list(APPEND staged "${CPACK_TEMPORARY_DIRECTORY}")
execute_process(COMMAND touch -h -d @${epoch} ${staged} RESULT_VARIABLE touch_result)
if(NOT touch_result EQUAL 0)
    message(FATAL_ERROR "could not set the dates of the staged files")
endif()
