# The registration that installer/msi.cmake generates from an IDL file, for both
# architectures, against the rows RegisterTypeLib and a DllRegisterServer write for it:
# hexadecimal version and locale keys, library flags with LIBFLAG_FHASDISKIMAGE, proxies
# by interface kind, only what the type library holds, only creatable classes, and the
# 32-bit view for 64-bit interfaces.
#   cmake -DREPOSITORY=<repo> -DWORK_DIR=<scratch> -P registry_rows_test.cmake
# Functions, not macros: a macro would read the backslashes of its arguments again.
set_property(GLOBAL PROPERTY failures 0)
function(count_failure message)
  message(SEND_ERROR "${message}")
  get_property(n GLOBAL PROPERTY failures)
  math(EXPR n "${n} + 1")
  set_property(GLOBAL PROPERTY failures ${n})
endfunction()
function(expect_row text)
  string(FIND "${com}" "${text}" at)
  if(at EQUAL -1)
    count_failure("${arch}: missing: ${text}")
  endif()
endfunction()
function(expect_no text)
  string(FIND "${com}" "${text}" at)
  if(NOT at EQUAL -1)
    count_failure("${arch}: unexpected: ${text}")
  endif()
endfunction()

set(lib "{11111111-2222-3333-4444-000000000001}")
foreach(arch win32 win64)
  file(REMOVE_RECURSE "${WORK_DIR}/${arch}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DCOM_ONLY=ON -DARCH=${arch} -DDIST_DIR=${WORK_DIR}/no-dist
            -DSOURCE_DIR=${REPOSITORY}/tests/installer/fixture -DWORK_DIR=${WORK_DIR}/${arch}
            -P ${REPOSITORY}/installer/msi.cmake
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${arch}: msi.cmake failed:\n${output}")
  endif()
  file(READ "${WORK_DIR}/${arch}/com.wxs" com)

  # The type library: version 2.10 is 2.a, locale 0x407 is 407, hidden (4) plus 8.
  expect_row("Key=\"TypeLib\\${lib}\\2.a\" Type=\"string\" Value=\"Fixture (test) library, [not] a real one\"")
  expect_row("Key=\"TypeLib\\${lib}\\2.a\\407\\${arch}\" Type=\"string\" Value=\"[#Fixture.tlb]\"")
  expect_row("Key=\"TypeLib\\${lib}\\2.a\\FLAGS\" Type=\"string\" Value=\"12\"")
  expect_row("Key=\"TypeLib\\${lib}\\2.a\\HELPDIR\" Type=\"string\" Value=\"[INSTALLDIR]\"")
  expect_no("00000000-0000-0000-0000-0000000000FF")

  # Interfaces: the dual one by the type library marshaler, the dispatch one by the
  # dispatch marshaler; the unused and the plain one not at all.
  set(dual "Interface\\{11111111-2222-3333-4444-000000000011}")
  set(events "Interface\\{11111111-2222-3333-4444-000000000013}")
  expect_row("Key=\"${dual}\" Type=\"string\" Value=\"_Referenced\"")
  expect_row("Key=\"${dual}\\ProxyStubClsid32\" Type=\"string\" Value=\"{00020424-0000-0000-C000-000000000046}\"")
  expect_row("Key=\"${dual}\\TypeLib\" Name=\"Version\" Type=\"string\" Value=\"2.a\"")
  expect_row("Key=\"${events}\\ProxyStubClsid\" Type=\"string\" Value=\"{00020420-0000-0000-C000-000000000046}\"")
  expect_no("-000000000010}")
  expect_no("-000000000012}")

  # Classes: the creatable one under its ProgID <library>.<class>; the other not.
  set(thing "CLSID\\{11111111-2222-3333-4444-000000000020}")
  expect_row("Key=\"${thing}\\InprocServer32\" Type=\"string\" Value=\"[#Fixture.dll]\"")
  expect_row("Key=\"${thing}\\InprocServer32\" Name=\"ThreadingModel\" Type=\"string\" Value=\"Apartment\"")
  expect_row("Key=\"${thing}\\ProgID\" Type=\"string\" Value=\"Fixture.Thing\"")
  expect_row("Key=\"${thing}\\TypeLib\" Type=\"string\" Value=\"${lib}\"")
  expect_row("Key=\"Fixture.Thing\\CLSID\" Type=\"string\" Value=\"{11111111-2222-3333-4444-000000000020}\"")
  expect_no("-000000000021}")
  expect_no("NotCreatable")

  # 64-bit: the interfaces once more in a 32-bit component; 32-bit: no such component.
  if(arch STREQUAL "win64")
    expect_row("<Component Id=\"Fixture\" Guid=\"")
    expect_row("\" Win64=\"yes\">")
    expect_row("<Component Id=\"Fixture.Interfaces32\"")
    expect_row("<RegistryValue KeyPath=\"yes\" Root=\"HKCR\" Key=\"${dual}\" Type=\"string\" Value=\"_Referenced\"/>")
  else()
    expect_no("Interfaces32")
    expect_no("Win64=\"yes\"")
  endif()
endforeach()

# A changed identifier in the IDL changes the package: nothing is kept from before.
file(READ "${REPOSITORY}/tests/installer/fixture/datapak/com/fixture.idl" idl)
string(REPLACE "11111111-2222-3333-4444-000000000020" "99999999-2222-3333-4444-000000000020" idl "${idl}")
file(MAKE_DIRECTORY "${WORK_DIR}/changed/datapak/com")
file(WRITE "${WORK_DIR}/changed/datapak/com/fixture.idl" "${idl}")
set(arch "win64, changed CLSID")
execute_process(
  COMMAND ${CMAKE_COMMAND} -DCOM_ONLY=ON -DARCH=win64 -DDIST_DIR=${WORK_DIR}/no-dist
          -DSOURCE_DIR=${WORK_DIR}/changed -DWORK_DIR=${WORK_DIR}/changed-out
          -P ${REPOSITORY}/installer/msi.cmake
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
file(READ "${WORK_DIR}/changed-out/com.wxs" com)
expect_row("CLSID\\{99999999-2222-3333-4444-000000000020}\\InprocServer32")
expect_no("11111111-2222-3333-4444-000000000020")

get_property(failures GLOBAL PROPERTY failures)
if(failures GREATER 0)
  message(FATAL_ERROR "registry_rows_test: ${failures} checks failed")
endif()
message("registry_rows_test: PASS")
