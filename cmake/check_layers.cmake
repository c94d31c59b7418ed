# Fails when a source file includes a header of a folder above its own layer. The layers, lowest first:
# platform < engine < widgets < updates < app.
# The tests of a layer keep its rule. Only #include lines count; root-relative paths ("engine/thread.h") and
# paths relative to the including file ("../app/x.h") are both resolved against the source root.
#
#   cmake -DSOURCE_DIR=<source root> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers.cmake needs -DSOURCE_DIR=<source root>")
endif()
get_filename_component(root "${SOURCE_DIR}" ABSOLUTE)

# <folder>|<folders it must not include>|<folder under those it may include anyway>
set(rules
  "platform|engine,widgets,updates,app|"
  "engine|widgets,updates,app|"
  "widgets|updates,app|"
  "updates|app|"
  "tests/platform|engine,widgets,updates,app|"
  "tests/engine|widgets,updates,app|"
  "tests/widgets|updates,app|"
  "tests/updates|app|")

# The root-relative path that an include line names, seen from the file that holds it.
function(resolve_include file named out)
  get_filename_component(dir "${file}" DIRECTORY)
  if(named MATCHES "^\\.\\.?/" OR EXISTS "${dir}/${named}")
    get_filename_component(absolute "${named}" ABSOLUTE BASE_DIR "${dir}")
    file(RELATIVE_PATH named "${root}" "${absolute}")
  endif()
  set(${out} "${named}" PARENT_SCOPE)
endfunction()

set(violations)
foreach(rule ${rules})
  string(REPLACE "|" ";" parts "${rule}")
  list(GET parts 0 folder)
  list(GET parts 1 forbidden)
  string(REPLACE "," ";" forbidden "${forbidden}")
  list(LENGTH parts count)
  set(allowed "")
  if(count GREATER 2)
    list(GET parts 2 allowed)
  endif()
  file(GLOB_RECURSE files LIST_DIRECTORIES false
    "${root}/${folder}/*.h" "${root}/${folder}/*.hpp" "${root}/${folder}/*.c" "${root}/${folder}/*.cpp"
    "${root}/${folder}/*.in")
  foreach(file ${files})
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line ${lines})
      if(NOT line MATCHES "[<\"]([^>\"]+)[>\"]")
        continue()
      endif()
      resolve_include("${file}" "${CMAKE_MATCH_1}" included)
      if(allowed AND included MATCHES "^${allowed}/")
        continue()
      endif()
      foreach(above ${forbidden})
        if(included MATCHES "^${above}/")
          file(RELATIVE_PATH shown "${root}" "${file}")
          list(APPEND violations "  ${shown} includes ${included} (${folder}/ lies below ${above}/)")
        endif()
      endforeach()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n" report)
  message(FATAL_ERROR "Includes across the layers (platform < engine < widgets < updates < app):\n${report}")
endif()
