# Writes a C++ source that holds the icon PNGs as byte arrays, so the program
# carries its icon wherever it is run from. Called with -DOUT=<file>
# -DICONS=<dir> -DSIZES=<list>.
set(body "// Generated from res/icons by res/embed_icons.cmake; do not edit.\n#include \"platform/win/images.h\"\n\nnamespace {\n")
set(table "")
foreach(size ${SIZES})
  file(READ ${ICONS}/quavix-${size}.png hex HEX)
  string(LENGTH "${hex}" len)
  math(EXPR bytes "${len} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" hex "${hex}")
  string(APPEND body "const unsigned char kIcon${size}[${bytes}] = {\n${hex}\n};\n")
  string(APPEND table "      {${size}, kIcon${size}, sizeof kIcon${size}},\n")
endforeach()
string(APPEND body "}  // namespace\n\nconst std::vector<IconImage> &QuavixIconImages() {\n  static const std::vector<IconImage> images{\n${table}  };\n  return images;\n}\n")
file(WRITE ${OUT}.tmp "${body}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
