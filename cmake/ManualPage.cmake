# cmake -DTEMPLATE=... -DCOMMANDS=... -DVERSION=... -DOUT=... -P ManualPage.cmake
# Puts the COMMANDS section, which the built command writes from its own
# command tree, into the written parts of the manual page.
cmake_minimum_required(VERSION 3.25)
file(READ "${TEMPLATE}" page)
file(READ "${COMMANDS}" commands)
string(REPLACE "@COMMANDS@" "${commands}" page "${page}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
file(WRITE "${OUT}.tmp" "${page}")
file(RENAME "${OUT}.tmp" "${OUT}")
