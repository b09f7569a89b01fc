# The layering guard, run as a test: cmake -DSOURCE_DIR=... -DCORE_INSTALLER_FILES="A;B" -P CheckLayers.cmake
# A lower layer that includes a header of a higher one would link back up into it and close a cycle:
#   messages/ includes nothing of the project outside messages/;
#   the core (common/ and the installer/ files listed) includes of installer/ only those files.
cmake_minimum_required(VERSION 3.20)
set(violations "")

function(check_includes files pattern allowed)
    foreach(file ${files})
        file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"${pattern}")
        foreach(line ${lines})
            string(REGEX REPLACE ".*\"([^\"]+)\".*" "\\1" header "${line}")
            if(NOT header IN_LIST allowed)
                file(RELATIVE_PATH relative ${SOURCE_DIR} ${file})
                set(violations "${violations}  ${relative} includes ${header}\n")
            endif()
        endforeach()
    endforeach()
    set(violations "${violations}" PARENT_SCOPE)
endfunction()

file(GLOB messages_files ${SOURCE_DIR}/messages/*.h ${SOURCE_DIR}/messages/*.cpp)
check_includes("${messages_files}" "(common|installer)/" "")

file(GLOB core_files ${SOURCE_DIR}/common/*.h ${SOURCE_DIR}/common/*.cpp ${SOURCE_DIR}/common/*.in)
set(core_headers "")
foreach(name ${CORE_INSTALLER_FILES})
    list(APPEND core_files ${SOURCE_DIR}/installer/${name}.h ${SOURCE_DIR}/installer/${name}.cpp)
    list(APPEND core_headers installer/${name}.h)
endforeach()
check_includes("${core_files}" "installer/" "${core_headers}")

if(violations)
    message(FATAL_ERROR "Includes against the layers (messages <- core <- installer):\n${violations}")
endif()
