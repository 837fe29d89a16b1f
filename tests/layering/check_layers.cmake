# The house's layers, checked on every source file:
#   - a quoted include points down the layers (or stays in its own folder), never up, and never
#     sideways between two ports or two front ends; a front end never names a port;
#   - the portable layers include no system header: only the C++ standard library and the
#     libraries listed for them (the system's side lives in a platform folder, posix/, win32/ or
#     linux/, of its layer);
#   - every folder that holds sources belongs to a layer, so that a new folder (a port in a
#     subfolder) is never passed over unchecked.
# Run as: cmake -DSOURCE_DIR=<project> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

# Each folder may include its own headers and those of the folders listed for it. resources/
# holds data and may be included from anywhere.
set(allowed_base "base")
set(allowed_base/posix "base;base/posix")
set(allowed_base/win32 "base;base/win32")
set(allowed_device "base;device")
# The ports: each sees the device layer and itself, never another port.
set(allowed_device/sim "base;device;device/sim")
set(allowed_device/win32 "base;base/win32;device;device/win32")
set(allowed_device/linux "base;device;device/linux")
# The simulated displays as USB devices on Linux: a program over the simulated device alone.
set(allowed_device/sim/linux "base;device;device/sim;device/sim/linux")
set(allowed_protocol "base;device;protocol")
# Signed releases sit above the protocol (the image's digest, the version texts), below the history.
set(allowed_trust "base;device;protocol;trust")
# The history of the runs sits above the protocol; its Windows side loads the system's SQLite.
set(allowed_history "base;device;protocol;trust;history")
set(allowed_history/win32 "base;base/win32;history;history/win32")
# app/ opens the port the options ask for, so it sees every port; the front ends above it reach
# a port only through what app/ opened (the Windows dialog keeps its own platform's window).
set(ports "device/sim;device/win32;device/linux")
set(allowed_app "base;device;${ports};protocol;trust;history;app")
set(allowed_app/win32 "base;base/win32;device;device/win32;protocol;trust;history;app;app/win32")
set(allowed_cli "base;device;protocol;trust;history;app;cli")
set(allowed_cli/posix "base;cli;cli/posix")
set(allowed_cli/win32 "base;cli")
# Measuring tools and tests sit above everything they measure or test, the ports included.
set(allowed_bench "base;device;${ports};protocol;trust;history;app;cli;tests/support;tests/kernel;bench")
set(allowed_bench/linux "base;device;device/linux;protocol;bench;bench/linux")
set(allowed_tests/support "base;device;device/sim;protocol;trust;history;app;tests/support")
set(allowed_tests/kernel "base;device;device/sim;device/linux;protocol;app;tests/support;tests/kernel")
set(allowed_tests/unit "base;device;${ports};protocol;trust;history;app;cli;tests/support;tests/unit")
# The history's tests run processes with the kernel tests' runner, and commands in process with
# the unit suite's.
set(allowed_tests/history
    "base;device;device/sim;protocol;trust;history;app;cli;tests/support;tests/kernel;tests/unit;tests/history")
set(allowed_tests/fuzz "base;device;protocol;trust;tests/fuzz")
# The VM tests' hidapi client stands alone: it sees nothing of the tool.
set(allowed_tests/vm "tests/vm")
set(allowed_tests/ui "base;base/win32;device;device/win32;history;app;app/win32;tests/ui")
# Longest first, so device/sim/x.h belongs to device/sim, not device.
set(layers device/sim/linux app/win32 base/posix base/win32 cli/posix cli/win32 device/linux device/sim device/win32
    history/win32 tests/support tests/kernel tests/unit tests/fuzz tests/ui tests/history tests/vm bench/linux
    base device protocol trust history app cli bench)
# The layers that must build on any system: no system header, no platform folder's header.
set(portable base device protocol trust history app cli)
# Libraries a portable layer may include besides the standard library.
set(libraries_trust "nlohmann/json.hpp")
set(libraries_history "sqlite3.h;libpq-fe.h")
set(libraries_cli "nlohmann/json.hpp")
# Folders that hold data or build help, not code of a layer.
set(not_layers resources build .git)
set(standard_headers
    algorithm any array atomic bitset cassert cctype cerrno cfloat charconv chrono cinttypes climits
    clocale cmath complex condition_variable csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib
    cstring ctime cwchar cwctype deque exception filesystem forward_list fstream functional future
    initializer_list iomanip ios iosfwd iostream istream iterator limits list locale map memory
    mutex new numeric optional ostream queue random ratio regex set shared_mutex sstream stack
    stdexcept streambuf string string_view system_error thread tuple type_traits typeindex typeinfo
    unordered_map unordered_set utility variant vector)

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
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+[\"<][^\">]+[\">]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+([\"<])([^\">]+)[\">].*" "\\1;\\2" parts "${line}")
    list(GET parts 0 quote)
    list(GET parts 1 included)
    if(quote STREQUAL "<")
      if(own IN_LIST portable AND NOT included IN_LIST standard_headers AND
         NOT included IN_LIST libraries_${own})
        message(SEND_ERROR "${source} (${own}, portable) includes the system header <${included}>")
        math(EXPR violations "${violations} + 1")
      endif()
      continue()
    endif()
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
