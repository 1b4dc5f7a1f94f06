# Checks the library layering: every #include "orvane/<folder>/..." in
# include/, src/ and tests/ must name a folder of the including folder's own
# library or of a library it depends on (directly or not). Also checks that
# the libraries depend only on libraries listed before them (so the graph has
# no cycle), every folder belongs to exactly one library, and the umbrella header
# includes every public header (forwarding headers left at old paths aside).
#
#   cmake -DSOURCE_DIR=<root> -DLAYERS=<file setting ORVANE_LIBRARIES,
#         ORVANE_FOLDERS_<lib> and ORVANE_DEPS_<lib>> -P check_layering.cmake
cmake_minimum_required(VERSION 3.25)
include(${LAYERS})

set(problems)
set(below)
foreach(library ${ORVANE_LIBRARIES})
  foreach(dep ${ORVANE_DEPS_${library}})
    if(NOT dep IN_LIST below)
      list(APPEND problems "orvane_${library} depends on orvane_${dep}, which is not below it")
    endif()
  endforeach()
  list(APPEND below ${library})
  foreach(folder ${ORVANE_FOLDERS_${library}})
    if(DEFINED library_of_${folder})
      list(APPEND problems "folder ${folder} is in two libraries")
    endif()
    set(library_of_${folder} ${library})
  endforeach()
endforeach()

# The folders a library may include: its own and those of everything below.
function(reachable library out)
  set(seen ${library})
  set(queue ${library})
  while(queue)
    list(POP_FRONT queue current)
    foreach(dep ${ORVANE_DEPS_${current}})
      if(NOT dep IN_LIST seen)
        list(APPEND seen ${dep})
        list(APPEND queue ${dep})
      endif()
    endforeach()
  endwhile()
  set(folders)
  foreach(lib ${seen})
    list(APPEND folders ${ORVANE_FOLDERS_${lib}})
  endforeach()
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

file(GLOB folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR}/include/orvane
     ${SOURCE_DIR}/include/orvane/*)
file(GLOB source_folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*)
list(APPEND folders ${source_folders})
list(REMOVE_DUPLICATES folders)
foreach(folder ${folders})
  if(IS_DIRECTORY ${SOURCE_DIR}/include/orvane/${folder} OR IS_DIRECTORY ${SOURCE_DIR}/src/${folder})
    if(NOT DEFINED library_of_${folder})
      list(APPEND problems "folder ${folder} belongs to no library")
    endif()
  endif()
endforeach()

# A forwarding header, kept at an old path for one release, says so on a line
# of its own and includes the header that moved; an include of it counts as
# an include of the header it forwards to.
function(forwarded_folder header out)
  set(${out} "" PARENT_SCOPE)
  set(path ${SOURCE_DIR}/include/${header})
  if(EXISTS ${path})
    file(STRINGS ${path} marker REGEX "^// Forwarding header")
    if(marker)
      file(STRINGS ${path} moved REGEX "^#include \"orvane/")
      string(REGEX MATCH "orvane/([^/\"]+)/" _ "${moved}")
      set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
    endif()
  endif()
endfunction()

# Tests may also use the implementations of the seams they run on.
set(test_folders ${ORVANE_FOLDERS_testing} ${ORVANE_FOLDERS_asio})

foreach(library ${ORVANE_LIBRARIES})
  reachable(${library} allowed)
  foreach(folder ${ORVANE_FOLDERS_${library}})
    file(GLOB_RECURSE files
         ${SOURCE_DIR}/include/orvane/${folder}/*.h
         ${SOURCE_DIR}/src/${folder}/*.h ${SOURCE_DIR}/src/${folder}/*.cpp)
    file(GLOB_RECURSE test_files
         ${SOURCE_DIR}/tests/${folder}/*.h ${SOURCE_DIR}/tests/${folder}/*.cpp)
    foreach(file ${files} ${test_files})
      set(allowed_here ${allowed})
      if(file IN_LIST test_files)
        list(APPEND allowed_here ${test_folders})
      endif()
      file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]orvane/")
      file(STRINGS ${file} forwarding REGEX "^// Forwarding header")
      if(forwarding)
        set(includes)
      endif()
      foreach(line ${includes})
        string(REGEX MATCH "orvane/([^/\">]+)/" _ "${line}")
        set(target ${CMAKE_MATCH_1})
        string(REGEX MATCH "orvane/[^\">]+" header "${line}")
        forwarded_folder(${header} moved_to)
        if(moved_to)
          set(target ${moved_to})
        endif()
        if(target AND NOT target IN_LIST allowed_here)
          file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
          if(DEFINED library_of_${target})
            list(APPEND problems "${shown} (library orvane_${library}) includes orvane/${target}/, "
                                 "which is in orvane_${library_of_${target}}, not below it")
          else()
            list(APPEND problems "${shown} includes orvane/${target}/, a folder of no library")
          endif()
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()

file(STRINGS ${SOURCE_DIR}/include/orvane/orvane.h umbrella REGEX "^#include \"orvane/")
file(GLOB public_headers RELATIVE ${SOURCE_DIR}/include ${SOURCE_DIR}/include/orvane/*/*.h)
foreach(header ${public_headers})
  forwarded_folder(${header} moved_to)
  if(NOT moved_to AND NOT "#include \"${header}\"" IN_LIST umbrella)
    list(APPEND problems "include/orvane/orvane.h does not include ${header}")
  endif()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "layering:\n  ${text}")
endif()
message(STATUS "layering: clean")
