# Turns a binary file into a C++ array definition.
#   cmake -DIN=file.bin -DOUT=file.cpp -DNAME=symbol -DHEADER=header.h -P bin2cpp.cmake
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" body "${body}")
file(WRITE "${OUT}"
"// Generated from ${IN} by bin2cpp.cmake; do not edit.\n"
"#include \"${HEADER}\"\n"
"const unsigned char ${NAME}[] = {\n${body}\n};\n"
"const int32_t ${NAME}Size = ${size};\n")
