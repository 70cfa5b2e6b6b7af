# Fails when an include in src/ crosses a layer upward, or when the window-free core reaches a
# window. Run by CTest (test include_layers):
#   cmake -DSOURCE_DIR=<src> -DCORE_SOURCES=<list> -DQTCORE_DIRS=<list>
#         -P include_layers.cmake
#
# The layers, lowest first; a folder includes only its own layer and the ones below it:
#   platform/                       nothing above it
#   encoder/, ui/                   platform/
#   settings/, files/, http/        platform/, encoder/, ui/ and one another, except that files/
#                                   and http/ never include each other: the program (app/)
#                                   attaches the uploads of http/ to the file manager of files/
#   app/                            everything (the only place that knows every window)
cmake_minimum_required(VERSION 3.25)

set(allowed_platform platform)
set(allowed_encoder platform encoder)
set(allowed_ui platform ui)
set(allowed_settings platform encoder ui settings files http)
set(allowed_files platform encoder ui settings files)
set(allowed_http platform encoder ui settings http)
set(allowed_app platform encoder ui settings files http app)
set(layers platform encoder ui settings files http app)

set(problems "")

# The project includes of one file ("folder/name.h" or <folder/name.h>), and its Qt headers.
function(read_includes file out_project out_qt)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  set(project "")
  set(qt "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" name "${line}")
    if(name MATCHES "^\\.\\./" OR name MATCHES "/\\.\\./")
      list(APPEND project "${name}")
    elseif(name MATCHES "^([a-z]+)/")
      if(CMAKE_MATCH_1 IN_LIST layers)
        list(APPEND project "${name}")
      endif()
    elseif(name MATCHES "^(Qt[A-Za-z]+/)?Q[A-Za-z0-9]+(\\.h)?$")
      list(APPEND qt "${name}")
    endif()
  endforeach()
  set(${out_project} "${project}" PARENT_SCOPE)
  set(${out_qt} "${qt}" PARENT_SCOPE)
endfunction()

# 1. No include crosses a layer upward.
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
foreach(relative IN LISTS files)
  string(REGEX MATCH "^[^/]+" folder "${relative}")
  if(NOT folder IN_LIST layers)
    continue()
  endif()
  read_includes(${SOURCE_DIR}/${relative} project qt)
  foreach(name IN LISTS project)
    string(REGEX MATCH "^[^/]+" target "${name}")
    if(NOT target IN_LIST allowed_${folder})
      string(REPLACE ";" ", " may "${allowed_${folder}}")
      string(APPEND problems "  src/${relative} includes \"${name}\": ${folder}/ may include "
                            "only ${may}\n")
    endif()
  endforeach()
endforeach()

# 2. vortane_core stays free of windows: no core source reaches, through the project headers it
# includes, a Qt header outside QtCore (every window's header includes QtWidgets or QtGui).
function(is_qtcore_header name out)
  set(result FALSE)
  if(name MATCHES "^QtCore/")
    set(result TRUE)
  elseif(NOT name MATCHES "/")
    foreach(dir IN LISTS QTCORE_DIRS)
      if(dir MATCHES "/QtCore$" AND EXISTS "${dir}/${name}")
        set(result TRUE)
      endif()
    endforeach()
  endif()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

foreach(source IN LISTS CORE_SOURCES)
  if(NOT source MATCHES "\\.cpp$")
    continue()
  endif()
  file(RELATIVE_PATH start "${SOURCE_DIR}" "${source}")
  set(queue "${start}")
  set(seen "${start}")
  while(queue)
    list(POP_FRONT queue current)
    if(NOT EXISTS ${SOURCE_DIR}/${current})
      continue()
    endif()
    read_includes(${SOURCE_DIR}/${current} project qt)
    foreach(name IN LISTS qt)
      is_qtcore_header("${name}" core)
      if(NOT core)
        string(APPEND problems "  src/${start} (core) reaches <${name}> through src/${current}\n")
      endif()
    endforeach()
    foreach(name IN LISTS project)
      if(NOT name IN_LIST seen)
        list(APPEND seen "${name}")
        list(APPEND queue "${name}")
      endif()
    endforeach()
  endwhile()
endforeach()

if(problems)
  message(FATAL_ERROR "Includes that cross a layer:\n${problems}")
endif()
list(LENGTH files count)
message(STATUS "${count} files in src/ keep to their layers")
