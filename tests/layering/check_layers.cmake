# Fails when a quoted include points to a higher layer, or sideways between two ports or two
# front ends; and when a folder holds sources but belongs to no layer, so that a new folder (a
# port in a subfolder) is never passed over unchecked. Run as:
#   cmake -DSOURCE_DIR=<project> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

# Each folder may include its own headers and those of the folders listed for it. resources/
# holds data and may be included from anywhere. base/win32/ is the Windows side of base/, for
# whatever may include base/; base/posix/ the POSIX side, which only implements base/'s headers.
set(allowed_base "base;base/win32")
set(allowed_base/win32 "base;base/win32")
set(allowed_base/posix "base;base/posix")
set(allowed_device "base;base/win32;device")
# The ports: each sees the device layer and itself, never another port.
set(allowed_device/sim "base;base/win32;device;device/sim")
set(allowed_device/win32 "base;base/win32;device;device/win32")
set(allowed_device/linux "base;device;device/linux")
set(allowed_protocol "base;base/win32;device;protocol")
# The history of the runs sits above the protocol; its Windows side loads the system's SQLite.
set(allowed_history "base;base/win32;device;protocol;history")
set(allowed_history/win32 "base;base/win32;history;history/win32")
# app/ opens the port the options ask for, so it sees every port.
set(ports "device/sim;device/win32;device/linux")
set(allowed_app "base;base/win32;device;${ports};protocol;history;app")
set(allowed_app/win32 "base;base/win32;device;${ports};protocol;history;app;app/win32")
set(allowed_cli "base;base/win32;device;${ports};protocol;history;app;cli")
set(allowed_bench "base;device;device/sim;device/linux;protocol;history;app;tests/support;tests/kernel;bench")
# The tests sit above everything they test.
set(allowed_tests/support "base;device;device/sim;protocol;app;tests/support")
set(allowed_tests/kernel "base;device;device/sim;device/linux;protocol;app;tests/support;tests/kernel")
set(allowed_tests/unit "base;device;${ports};protocol;history;app;cli;tests/support;tests/unit")
# The history's tests run processes with the kernel tests' runner.
set(allowed_tests/history "base;device;device/sim;protocol;history;app;cli;tests/support;tests/kernel;tests/history")
set(allowed_tests/fuzz "base;device;device/linux;tests/fuzz")
set(allowed_tests/ui "base;base/win32;device;device/win32;history;app;app/win32;tests/ui")
# Longest first, so device/sim/x.h belongs to device/sim, not device.
set(layers app/win32 base/win32 base/posix device/linux device/sim device/win32 history/win32
    tests/support tests/kernel tests/unit tests/fuzz tests/ui tests/history base device protocol history
    app cli bench)
# Folders that hold data or build help, not code of a layer.
set(not_layers resources build .git)

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
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(violations 0)
set(checked 0)
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" top "${source}")
  if(top IN_LIST not_layers OR NOT source MATCHES "/")
    continue()
  endif()
  layer_of("${source}" own)
  # The layer is the file's own folder: a file in a subfolder that is not a layer of its own
  # (device/newport/x.h) would otherwise pass as device/'s.
  get_filename_component(folder "${source}" DIRECTORY)
  if(own STREQUAL "" OR NOT folder STREQUAL own)
    message(SEND_ERROR "${source}: its folder ${folder} is no layer; give it one in check_layers.cmake")
    math(EXPR violations "${violations} + 1")
    continue()
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
if(checked EQUAL 0)
  message(FATAL_ERROR "no source files found under ${SOURCE_DIR}")
endif()
if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) or folder(s) against the layers")
endif()
message(STATUS "${checked} files, every include points down")
