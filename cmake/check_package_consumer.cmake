# Installs a build tree into a fresh prefix, builds examples/ against that prefix alone and
# runs it: fails when the installed package or its exported target is incomplete.
#   cmake -DBUILD_DIR=... -DEXAMPLE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DCXX_COMPILER=...
#         -P check_package_consumer.cmake
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nfailed (${status}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
string(FIND "${out}" "Sorbel 1.0.0 from ${prefix}/" found)
if(found EQUAL -1)
  message(FATAL_ERROR "the example did not find the installed package:\n${out}")
endif()
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/package_round_trip ${WORK_DIR}/example.pak)
# Header 14 bytes, title 7, category 4; records of 1 + 4 bytes of lengths plus key and data.
set(expected "Example (demo): 3 records, 64 bytes
name: 53 6f 72 62 65 6c
bytes: 00 01 02 ff
empty:
")
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "package_round_trip printed:\n${out}\nexpected:\n${expected}")
endif()
message(STATUS "package_round_trip against ${prefix}: as expected")
