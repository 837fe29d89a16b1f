# Fails when a quoted include points to a higher layer, or sideways between two ports or two
# front ends. Run as: cmake -DSOURCE_DIR=<project> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

# Each folder may include its own headers and those of the folders listed for it. A folder not
# listed here (resources/, which holds data) may be included from anywhere.
# base/win32/ is the Windows side of base/, for whatever may include base/.
set(allowed_base "base;base/win32")
set(allowed_base/win32 "base;base/win32")
set(allowed_device "base;base/win32;device")
set(allowed_device/sim "base;base/win32;device;device/sim")
set(allowed_device/win32 "base;base/win32;device;device/win32")
set(allowed_protocol "base;base/win32;device;protocol")
# app/ opens the port the options ask for, so it sees both ports.
set(allowed_app "base;base/win32;device;device/sim;device/win32;protocol;app")
set(allowed_app/win32 "base;base/win32;device;device/sim;device/win32;protocol;app;app/win32")
set(allowed_cli "base;base/win32;device;device/sim;device/win32;protocol;app;cli")
set(allowed_tests/support "base;device;device/sim;protocol;app;tests/support")
set(allowed_bench "base;device;device/sim;protocol;app;tests/support;bench")
# The hidraw fixture serves the simulated device through the kernel; it knows nothing above it.
set(allowed_tests/kernel "base;device;device/sim;tests/kernel")
# Longest first, so device/sim/x.h belongs to device/sim, not device.
set(layers app/win32 base/win32 device/sim device/win32 tests/support tests/kernel base device protocol
    app cli bench)

function(layer_of path out)
  foreach(layer IN LISTS layers)
    string(LENGTH "${layer}/" prefix_length)
    string(SUBSTRING "${path}" 0 ${prefix_length} prefix)
    if(prefix STREQUAL "${layer}/")
      set(${out} "${layer}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
set(violations 0)
set(checked 0)
foreach(layer IN LISTS layers)
  file(GLOB sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    layer_of("${source}" own)
    if(NOT own STREQUAL layer)
      continue()  # a file of a deeper folder, checked with that folder
    endif()
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" included "${line}")
      layer_of("${included}" target)
      if(target STREQUAL "")
        continue()  # a file of the same folder, or data
      endif()
      if(NOT target IN_LIST allowed_${own})
        message(SEND_ERROR "${source} (${own}) includes \"${included}\" (${target})")
        math(EXPR violations "${violations} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()
if(checked EQUAL 0)
  message(FATAL_ERROR "no source files found under ${SOURCE_DIR}")
endif()
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the layers")
endif()
message(STATUS "${checked} files, every include points down")
