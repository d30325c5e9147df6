# Writes the example program of the public header (the lines between "\code" and "\endcode" of
# its introduction, without their leading "///") to a source file:
#   cmake -DHEADER=include/zqlib/zqlib.h -DOUT=example.cpp -P cmake/header-example.cmake
file(READ "${HEADER}" text)
string(FIND "${text}" "\\code" begin)
string(FIND "${text}" "\\endcode" end)
if(begin EQUAL -1 OR end LESS begin)
  message(FATAL_ERROR "${HEADER} has no \\code ... \\endcode example")
endif()
# From the line after "\code" to the start of the "\endcode" line.
string(SUBSTRING "${text}" ${begin} -1 rest)
string(FIND "${rest}" "\n" firstBreak)
math(EXPR length "${end} - ${begin} - ${firstBreak}")
string(SUBSTRING "${rest}" ${firstBreak} ${length} code)
string(REGEX REPLACE "\n///[ ]?" "\n" code "${code}")
string(REGEX REPLACE "\n[^\n]*$" "\n" code "${code}")
file(WRITE "${OUT}.new" "${code}")
# Rewritten only when it changed, so an unchanged example is not built again.
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
