# cmake -DOUT=<file.cpp> -DNAMES="a;b" -DFILES="a.bin;b.bin" -P embed.cmake
# Writes the binaries as constant byte arrays of namespace disk.
set(text "// Generated from the boot program sources; do not edit.\n")
string(APPEND text "#include \"app/disk/boot_programs.h\"\n\nnamespace disk {\n")
foreach(name file IN ZIP_LISTS NAMES FILES)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" len)
  math(EXPR size "${len} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND text "const std::array<uint8_t, ${size}> ${name} = {${bytes}};\n")
endforeach()
string(APPEND text "} // namespace disk\n")
file(WRITE ${OUT} "${text}")
