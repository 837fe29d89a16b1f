# The test-only parts (the unit suite, the hidraw fixture and the tests through the kernel, the
# fuzz target) are built only where their packages are installed, so that padsmith configures
# and builds with what scripts/setup-debian.sh installs for the demo. A part left out says so in
# one line. scripts/test.sh turns PADSMITH_REQUIRE_TEST_PARTS on: there a part left out fails
# the configure, since a suite that quietly loses its tests cannot fail.
option(PADSMITH_REQUIRE_TEST_PARTS "Fail the configure when a test part cannot be built" OFF)

# PART is not built for REASON (its packages are missing).
function(padsmith_test_part_left_out part reason)
  set(line "${part} not built: ${reason} (scripts/setup-debian.sh --tests installs it)")
  if(PADSMITH_REQUIRE_TEST_PARTS)
    # Not FATAL_ERROR: the configure goes on, so every part left out is named.
    message(SEND_ERROR "${line}")
  else()
    message(STATUS "${line}")
  endif()
endfunction()
