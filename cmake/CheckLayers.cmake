# Fails when a source file includes from a layer above its own.
#   cmake -DSRC=<src folder> -P CheckLayers.cmake
# Layers, bottom to top. Folders of one rank share a layer; a tool folder
# may include only its own folder among the tools. Which of a tool's files
# are its engine and which its screens the build says (src/CMakeLists.txt):
# the engine is compiled and linked without widgets.
set(rank_store 0)
set(rank_rtf 0)
set(rank_kit 1)
set(rank_controls 1)
set(rank_window 2)
set(tools account address mail notes planner calc sync)
foreach(t IN LISTS tools)
  set(rank_${t} 3)
endforeach()
set(rank_shell 4)

file(GLOB_RECURSE files RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(bad "")
foreach(f IN LISTS files)
  string(REGEX MATCH "^[a-z]+" from "${f}")
  if(NOT DEFINED rank_${from})
    continue()  # main.cpp
  endif()
  file(STRINGS ${SRC}/${f} lines REGEX "^#include \"[a-z]+/")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" to "${line}")
    if(NOT DEFINED rank_${to})
      list(APPEND bad "${f}: unknown folder in ${line}")
    elseif(rank_${to} GREATER rank_${from})
      list(APPEND bad "${f}: ${line} reaches up")
    elseif(rank_${to} EQUAL 3 AND rank_${from} EQUAL 3 AND NOT to STREQUAL from)
      list(APPEND bad "${f}: ${line} reaches into another tool")
    endif()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n" text)
  message(FATAL_ERROR "Includes against the layers:\n${text}")
endif()
