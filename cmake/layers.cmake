# The layering of the tree, checked on every build: a source may include
# only the layers below it (platform at the bottom; rangekit and kesto on
# it; the programs on those), and the backends' own headers
# (platform/backend.h, platform/posix/, platform/win32/) only from inside
# platform/. Tests, fuzz targets and benchmarks may use any layer, but not
# the backends. A file that breaks the rule fails the build with its line.
#
# Run as a script: cmake -DSUITE_SOURCE_DIR=<top> -DSUITE_STAMP=<file> -P layers.cmake
# Included from CMakeLists.txt: adds the target that runs it.

set(suite_layers_platform platform)
set(suite_layers_rangekit platform rangekit)
set(suite_layers_kesto platform kesto)
foreach(program holmic mirelk nevrik zobrin tolven)
  set(suite_layers_${program} platform rangekit ${program})
endforeach()
set(suite_layer_dirs platform rangekit kesto holmic mirelk nevrik zobrin tolven tests fuzz bench)

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
  set(broken "")
  foreach(dir IN LISTS suite_layer_dirs)
    file(GLOB_RECURSE sources "${SUITE_SOURCE_DIR}/${dir}/*.cpp" "${SUITE_SOURCE_DIR}/${dir}/*.h")
    foreach(source IN LISTS sources)
      file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
      file(RELATIVE_PATH shown "${SUITE_SOURCE_DIR}" "${source}")
      foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" included "${line}")
        set(why "")
        if(included MATCHES "\\.\\./")
          set(why "reaches out of its folder")
        elseif(NOT dir STREQUAL "platform" AND included MATCHES "^platform/(backend\\.h|posix/|win32/)")
          set(why "is a platform backend's own header")
        elseif(included MATCHES "^([a-z_]+)/" AND DEFINED suite_layers_${dir})
          set(layer "${CMAKE_MATCH_1}")
          if(NOT layer IN_LIST suite_layers_${dir})
            set(why "is above the ${dir} layer")
          endif()
        endif()
        if(why)
          string(APPEND broken "${shown}: #include \"${included}\" ${why}\n")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(broken)
    message(FATAL_ERROR "Layering broken:\n${broken}")
  endif()
  file(TOUCH "${SUITE_STAMP}")
  return()
endif()

set(suite_layer_sources "")
foreach(dir IN LISTS suite_layer_dirs)
  file(GLOB_RECURSE dir_sources CONFIGURE_DEPENDS
    "${CMAKE_SOURCE_DIR}/${dir}/*.cpp" "${CMAKE_SOURCE_DIR}/${dir}/*.h")
  list(APPEND suite_layer_sources ${dir_sources})
endforeach()
set(suite_layers_stamp "${CMAKE_BINARY_DIR}/layers.stamp")
add_custom_command(OUTPUT "${suite_layers_stamp}"
  COMMAND "${CMAKE_COMMAND}" -DSUITE_SOURCE_DIR=${CMAKE_SOURCE_DIR} -DSUITE_STAMP=${suite_layers_stamp}
          -P "${CMAKE_CURRENT_LIST_FILE}"
  DEPENDS ${suite_layer_sources} "${CMAKE_CURRENT_LIST_FILE}"
  COMMENT "Checking the layering of the includes"
  VERBATIM)
add_custom_target(layers ALL DEPENDS "${suite_layers_stamp}")
