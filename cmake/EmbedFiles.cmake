# Writes a C++ source holding files as byte arrays, for a program that serves them. Run as
#   cmake -DOUTPUT=<file.cpp> -DFOLDER=<dir> -DFILES=a.html,b.js -P cmake/EmbedFiles.cmake
string(REPLACE "," ";" FILES "${FILES}")
set(arrays "")
set(entries "")
set(index 0)
foreach(name ${FILES})
  file(READ "${FOLDER}/${name}" content HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
  string(LENGTH "${content}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(APPEND arrays "const unsigned char kFile${index}[] = {${bytes}0};\n")
  string(APPEND entries "    {\"${name}\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
  "// Generated from kinetra/preview/page/ by cmake/EmbedFiles.cmake; edit the files there.\n"
  "#include \"kinetra/preview/page.h\"\n\nnamespace kinetra::preview {\nnamespace {\n${arrays}}  // namespace\n\n"
  "const PageFile kPageFiles[] = {\n${entries}};\nconst size_t kPageFileCount = ${index};\n\n}  // namespace kinetra::preview\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
