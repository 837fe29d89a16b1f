# The project configured as on a machine set up for the demo alone: no GoogleTest, no libfuse3,
# and a compiler without libFuzzer asked for the fuzz target. The configure passes and names each
# part it leaves out in one line, with the setup option that brings it; with
# PADSMITH_REQUIRE_TEST_PARTS (scripts/test.sh's) the same configure fails, naming them again.
# With libfuse3 but no GoogleTest, the fixture is built and the tests through the kernel are named.
#   cmake -DSOURCE_DIR=... -DGENERATOR=... -DCXX=... -DWORK_DIR=... -P test_parts_left_out.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/no-pkgconfig")
set(no_gtest -G "${GENERATOR}" -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON)

# Configures into WORK_DIR/NAME with the options that follow; STATUS, OUT and ERR are set.
function(configure name)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/${name} ${ARGN}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(status "${status}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

# Each of PARTS has exactly one line in OUT that says it is left out.
function(expect_left_out parts)
  foreach(part IN LISTS parts)
    string(REGEX MATCHALL
           "\n-- ${part}[^\n]* not built: [^\n]*\\(scripts/setup-debian.sh --tests installs it\\)\n"
           lines "\n${out}")
    list(LENGTH lines count)
    if(NOT status EQUAL 0 OR NOT count EQUAL 1)
      message(FATAL_ERROR "exit ${status}, and ${count} lines, not one, say ${part} is left out:\n${out}${err}")
    endif()
  endforeach()
endfunction()

configure(fuse-only ${no_gtest})
expect_left_out("the unit suite;the tests through the kernel")

# pkg-config looks only in an empty folder, so fuse3.pc is not found.
set(ENV{PKG_CONFIG_LIBDIR} "${WORK_DIR}/no-pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(parts "the unit suite;the hidraw fixture;the fuzz target")
configure(bare ${no_gtest} -DPADSMITH_FUZZ=ON)
expect_left_out("${parts}")

configure(required ${no_gtest} -DPADSMITH_FUZZ=ON -DPADSMITH_REQUIRE_TEST_PARTS=ON)
if(status EQUAL 0)
  message(FATAL_ERROR "PADSMITH_REQUIRE_TEST_PARTS let a configure without the test packages pass")
endif()
# CMake wraps an error's text: compare it with its lines joined.
string(REGEX REPLACE "[ \n]+" " " err "${err}")
foreach(part IN LISTS parts)
  if(NOT err MATCHES "${part}[^:]* not built: ")
    message(FATAL_ERROR "the failed configure does not name ${part}:\n${err}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
