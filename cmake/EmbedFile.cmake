# Writes OUT, a C++ source that defines the array NAME with the bytes of the file IN and
# NAME_size with their count; run at build time, so an edited asset is embedded again.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('[^']+',){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUT}.new "// Generated from ${IN}: do not edit.\n#include <cstddef>\n\n"
    "namespace helper_scripts {\nextern const char ${NAME}[] = {\n    ${bytes}'\\0'};\n"
    "extern const std::size_t ${NAME}_size = ${size};\n}\n")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
