# The program's version comes from the project; its revision is the first 12 hex digits of the git
# commit, or 12 zeros when the tree is not a git checkout. The revision is read at build time so that
# a new commit does not need a new configure run.
set(KW_VERSION_IN "${CMAKE_SOURCE_DIR}/common/ProgramVersion.cpp.in")
set(KW_VERSION_OUT "${CMAKE_BINARY_DIR}/generated/ProgramVersion.cpp")
add_custom_target(program_version_source
    COMMAND ${CMAKE_COMMAND}
        -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
        -DIN=${KW_VERSION_IN} -DOUT=${KW_VERSION_OUT}
        -DVERSION=${PROJECT_VERSION}
        -P ${CMAKE_SOURCE_DIR}/cmake/WriteProgramVersion.cmake
    BYPRODUCTS ${KW_VERSION_OUT}
    COMMENT "Reading the source revision"
    VERBATIM)
