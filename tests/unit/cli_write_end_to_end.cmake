# The real padsmith program, real time: a full write leaves the flash file equal to the image in
# both address windows, erased past the image's end; a usage error is one line.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# An image that reaches into the second window and ends inside it (0xC000 bytes): the flash
# past it must read 0xFF.
execute_process(COMMAND head -c 49152 /dev/urandom OUTPUT_FILE "${WORK_DIR}/fw.bin")
file(SIZE "${WORK_DIR}/fw.bin" size)
if(NOT size EQUAL 49152)
  message(FATAL_ERROR "could not make the test image (${size} bytes)")
endif()

execute_process(COMMAND "${PADSMITH}" "--simulate=flash=${WORK_DIR}/flash.bin" write "${WORK_DIR}/fw.bin"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "write exited with ${status}")
endif()
string(REGEX MATCHALL "[0-9][0-9][0-9][0-9]/[0-9][0-9]/[0-9][0-9], [0-9][0-9]:[0-9][0-9]:[0-9][0-9]  [^\n]*" lines "${out}")
list(LENGTH lines count)
list(GET lines 1 erase)
list(GET lines 2 wait)
list(GET lines 3 written)
if(NOT count EQUAL 4 OR NOT erase MATCHES "  Erase Flash Success$" OR NOT wait MATCHES "  Please wait when operatation[.][.][.]$"
   OR NOT written MATCHES "  Write Flash Success$")
  message(FATAL_ERROR "unexpected lines: ${lines}")
endif()

file(SIZE "${WORK_DIR}/flash.bin" flashSize)
if(NOT flashSize EQUAL 55296)
  message(FATAL_ERROR "flash file holds ${flashSize} bytes")
endif()
file(READ "${WORK_DIR}/fw.bin" imageFirst HEX LIMIT 32768)
file(READ "${WORK_DIR}/flash.bin" flashFirst HEX LIMIT 32768)
file(READ "${WORK_DIR}/fw.bin" imageSecond HEX OFFSET 45056)
file(READ "${WORK_DIR}/flash.bin" flashSecond HEX OFFSET 45056 LIMIT 4096)
file(READ "${WORK_DIR}/flash.bin" flashPast HEX OFFSET 49152)
string(REPEAT "ff" 6144 erased)
if(NOT imageFirst STREQUAL flashFirst)
  message(FATAL_ERROR "first window differs from the image")
endif()
if(NOT imageSecond STREQUAL flashSecond)
  message(FATAL_ERROR "second window differs from the image")
endif()
if(NOT flashPast STREQUAL erased)
  message(FATAL_ERROR "flash past the image is not erased")
endif()

message("end to end: flash equals the image, erased past it")

# A usage error is one line and a pointer to the help, on stderr only.
execute_process(COMMAND "${PADSMITH}" info --simulate --bogus
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 2 OR NOT out STREQUAL "" OR NOT err STREQUAL "padsmith: unknown option --bogus\ntry 'padsmith --help'\n")
  message(FATAL_ERROR "usage error: exit ${status}, stdout:\n${out}\nstderr:\n${err}")
endif()
message("a usage error is one line and a pointer to --help")
