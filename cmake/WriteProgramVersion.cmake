find_package(Git QUIET)
set(REVISION "000000000000")
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse HEAD
        WORKING_DIRECTORY ${SOURCE_DIR}
        OUTPUT_VARIABLE head RESULT_VARIABLE rc ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(rc EQUAL 0 AND head MATCHES "^[0-9a-f]+$")
        string(SUBSTRING "${head}" 0 12 REVISION)
    endif()
endif()
configure_file(${IN} ${OUT}.new @ONLY)
# Rewrite only on change, so an unchanged revision does not relink everything.
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
