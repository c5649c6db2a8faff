# Builds one Orlenne installer package (.msi) with wixl.
#
#   cmake -DARCH=win32|win64 -DDIST_DIR=<binaries> -DSOURCE_DIR=<repository> -DOUTPUT=<file.msi>
#         [-DVERSION=1.0.0] [-DWORK_DIR=<scratch folder>] [-DWIXL=wixl] -P installer/msi.cmake
#
# -DCOM_ONLY=ON writes WORK_DIR/com.wxs and stops: no package, and DIST_DIR may lack
# files (the tests of the generated registration use it).
#
# DIST_DIR holds what the Windows build of that architecture delivers: Navreth.exe,
# sorbel.exe, and for every COM type library <Name> declared in datapak/com/*.idl and
# docfile/com/*.idl a server <Name>.dll with its type library <Name>.tlb; sample
# documents are taken from DIST_DIR/samples/*.orl and SOURCE_DIR/samples/*.orl, except
# broken-*.orl (documents the viewer must refuse, kept for its tests).
#
# Before wixl runs, this script copies the files to install into WORK_DIR/payload (wixl
# takes only relative source paths) and writes into WORK_DIR:
#   com.wxs      the COM servers and, as registry rows, the registration that their
#                DllRegisterServer writes, read from the IDL files: a changed class,
#                interface or library identifier cannot leave the package stale;
#   samples.wxs  one component per sample document;
#   payload/ReadMe.txt  the user documentation (SOURCE_DIR/docs/*.md) as one text file that
#                names the version, for Notepad.
# Component identifiers of generated components are name-based (SHA-1) UUIDs under the
# architecture's UpgradeCode, so they stay the same from build to build.
cmake_minimum_required(VERSION 3.25)

set(required_variables ARCH DIST_DIR SOURCE_DIR OUTPUT)
if(COM_ONLY)
  set(required_variables ARCH DIST_DIR SOURCE_DIR WORK_DIR)
endif()
foreach(required IN LISTS required_variables)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "msi.cmake: -D${required}=... is required")
  endif()
endforeach()
if(NOT DEFINED VERSION OR VERSION STREQUAL "")
  set(VERSION 1.0.0)
endif()
if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "msi.cmake: VERSION must be major.minor.build, not '${VERSION}'")
endif()
if(NOT DEFINED WIXL OR WIXL STREQUAL "")
  set(WIXL wixl)
endif()
get_filename_component(OUTPUT "${OUTPUT}" ABSOLUTE)
if(NOT DEFINED WORK_DIR OR WORK_DIR STREQUAL "")
  set(WORK_DIR "${OUTPUT}.d")
endif()
get_filename_component(WORK_DIR "${WORK_DIR}" ABSOLUTE)
get_filename_component(DIST_DIR "${DIST_DIR}" ABSOLUTE)
set(INSTALLER_DIR "${CMAKE_CURRENT_LIST_DIR}")

if(ARCH STREQUAL "win64")
  set(msi_arch x64)
  set(win64 yes)
  set(typelib_platform win64)
  set(upgrade_code 14B97CC0-AB88-4CF9-9D06-2B04225BB9EC)  # as in orlenne.wxs
elseif(ARCH STREQUAL "win32")
  set(msi_arch x86)
  set(win64 no)
  set(typelib_platform win32)
  set(upgrade_code F02A3D17-1C7C-4094-9C57-DAD6A09BFF72)  # as in orlenne.wxs
else()
  message(FATAL_ERROR "msi.cmake: ARCH must be win32 or win64, not '${ARCH}'")
endif()

# The proxy of every interface that the type library marshaler handles (dual and
# oleautomation interfaces), and of pure dispatch interfaces.
set(typelib_marshaler "{00020424-0000-0000-C000-000000000046}")
set(dispatch_marshaler "{00020420-0000-0000-C000-000000000046}")

function(component_guid out name)
  string(UUID guid NAMESPACE ${upgrade_code} NAME "${name}" TYPE SHA1 UPPER)
  set(${out} ${guid} PARENT_SCOPE)
endfunction()

function(xml_escape out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Appends one registry row (root HKCR) to the variable named by `out`.
# An empty name writes the key's default value.
function(reg_value out key name value)
  xml_escape(key "${key}")
  xml_escape(value "${value}")
  set(line "        <RegistryValue Root=\"HKCR\" Key=\"${key}\"")
  if(NOT name STREQUAL "")
    xml_escape(name "${name}")
    string(APPEND line " Name=\"${name}\"")
  endif()
  string(APPEND line " Type=\"string\" Value=\"${value}\"/>\n")
  set(${out} "${${out}}${line}" PARENT_SCOPE)
endfunction()

# The value of one IDL attribute in an attribute list, or "" when absent.
function(idl_attribute out attributes name)
  if(attributes MATCHES "[[,( \t\r\n]${name}[ \t\r\n]*\\([ \t\r\n]*\"([^\"]*)\"[ \t\r\n]*\\)")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)  # a quoted string, which may hold parentheses
  elseif(attributes MATCHES "[[,( \t\r\n]${name}[ \t\r\n]*\\(([^)]*)\\)")
    string(STRIP "${CMAKE_MATCH_1}" value)
    set(${out} "${value}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

function(idl_flag out attributes name)
  string(REGEX REPLACE "\"[^\"]*\"" "\"\"" attributes "${attributes}")  # not inside strings
  if(attributes MATCHES "[[, \t\r\n]${name}[], \t\r\n]")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# What each server's DllRegisterServer writes for its classes beyond what the IDL says
# comes from the same table the server compiles: classes.inc beside the IDL file, one
# COM_CLASS(coclass, L"ProgID", L"text", L"version" or nullptr) line per class (see
# common/com/registration.h). A library without a table registers each creatable class
# as <Library>.<Class> under its own name, with no version key. The installer test
# compares the package with regsvr32 of the same files, so a difference shows.
function(read_class_table lib file)
  file(STRINGS "${file}" lines REGEX "^COM_CLASS\\(")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^COM_CLASS\\(([A-Za-z_][A-Za-z_0-9]*), L\"([^\"]*)\", L\"([^\"]*)\", (nullptr|L\"([^\"]*)\")\\)$")
      message(FATAL_ERROR "msi.cmake: ${file}: not a COM_CLASS line: ${line}")
    endif()
    set(class_progid_${lib}.${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" PARENT_SCOPE)
    set(class_text_${lib}.${CMAKE_MATCH_1} "${CMAKE_MATCH_3}" PARENT_SCOPE)
    set(class_version_${lib}.${CMAKE_MATCH_1} "${CMAKE_MATCH_5}" PARENT_SCOPE)
  endforeach()
endfunction()

# --- the files that every package carries ---------------------------------------
set(missing)
foreach(f Navreth.exe sorbel.exe)
  if(NOT EXISTS "${DIST_DIR}/${f}")
    list(APPEND missing "${f}")
  endif()
endforeach()

# An IDL attribute list: brackets around anything but brackets, or quoted strings
# (a helpstring may hold brackets).
set(attribute_list "\\[([^][\"]|\"[^\"]*\")*\\]")

# --- COM servers, from their IDL files --------------------------------------------
file(GLOB idl_files "${SOURCE_DIR}/datapak/com/*.idl" "${SOURCE_DIR}/docfile/com/*.idl")
list(SORT idl_files)
set(com_components "")
set(com32_components "")
set(com_refs "")
set(libraries)
foreach(idl IN LISTS idl_files)
  file(READ "${idl}" text)
  # Comments out first: block comments, then line comments.
  string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" " " text "${text}")
  string(REGEX REPLACE "//[^\n]*" " " text "${text}")
  string(REGEX MATCH "${attribute_list}[ \t\r\n]*library[ \t\r\n]+[A-Za-z_][A-Za-z_0-9]*" library_head "${text}")
  if(library_head STREQUAL "")
    continue()  # an IDL file of interfaces only; its library names them
  endif()
  string(REGEX MATCH "library[ \t\r\n]+([A-Za-z_][A-Za-z_0-9]*)$" _ "${library_head}")
  set(lib ${CMAKE_MATCH_1})
  if(lib IN_LIST libraries)
    message(FATAL_ERROR "msi.cmake: library ${lib} is declared twice (${idl})")
  endif()
  list(APPEND libraries ${lib})
  get_filename_component(idl_dir "${idl}" DIRECTORY)
  if(EXISTS "${idl_dir}/classes.inc")
    read_class_table(${lib} "${idl_dir}/classes.inc")
  endif()
  idl_attribute(libid "${library_head}" uuid)
  idl_attribute(lib_version "${library_head}" version)
  idl_attribute(lib_lcid "${library_head}" lcid)
  idl_attribute(lib_help "${library_head}" helpstring)
  if(libid STREQUAL "")
    message(FATAL_ERROR "msi.cmake: library ${lib} in ${idl} has no uuid")
  endif()
  string(TOUPPER "{${libid}}" libid)
  if(lib_version STREQUAL "")
    set(lib_version 0.0)
  elseif(NOT lib_version MATCHES "\\.")
    string(APPEND lib_version ".0")
  endif()
  # The version and locale subkeys are written in hexadecimal.
  string(REGEX MATCH "^([0-9]+)\\.([0-9]+)$" _ "${lib_version}")
  math(EXPR major "${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR minor "${CMAKE_MATCH_2}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" major "${major}")
  string(REGEX REPLACE "^0x" "" minor "${minor}")
  string(TOLOWER "${major}.${minor}" version_key)
  if(lib_lcid STREQUAL "")
    set(lcid_key 0)
  else()
    math(EXPR lcid_key "${lib_lcid}" OUTPUT_FORMAT HEXADECIMAL)
    string(REGEX REPLACE "^0x" "" lcid_key "${lcid_key}")
    string(TOLOWER "${lcid_key}" lcid_key)
  endif()
  # RegisterTypeLib writes the library's flags as loaded, and a library loaded from a
  # file carries LIBFLAG_FHASDISKIMAGE (8).
  set(lib_flags 8)
  foreach(pair restricted:1 control:2 hidden:4)
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 flag_name)
    list(GET pair 1 flag_value)
    idl_flag(has "${library_head}" ${flag_name})
    if(has)
      math(EXPR lib_flags "${lib_flags} | ${flag_value}")
    endif()
  endforeach()
  if(lib_help STREQUAL "")
    set(lib_help ${lib})
  endif()

  foreach(f ${lib}.dll ${lib}.tlb)
    if(NOT EXISTS "${DIST_DIR}/${f}")
      list(APPEND missing "${f}")
    endif()
  endforeach()

  # Everything from the library keyword on: what the type library contains is
  # declared or named there.
  string(FIND "${text}" "${library_head}" library_at)
  string(SUBSTRING "${text}" ${library_at} -1 library_text)

  set(rows "")
  set(rows32 "")
  # A server that carries its type library as a TYPELIB resource registers the library
  # from the DLL; otherwise the .tlb beside it is registered.
  set(dll_path "[#${lib}.dll]")
  set(tlb_path "[#${lib}.tlb]")
  if(EXISTS "${DIST_DIR}/${lib}.dll")
    file(STRINGS "${DIST_DIR}/${lib}.dll" embedded ENCODING UTF-16LE REGEX "TYPELIB")
    if(embedded)
      set(tlb_path "${dll_path}")
    endif()
  endif()

  # The type library (RegisterTypeLib).
  set(tlkey "TypeLib\\${libid}\\${version_key}")
  reg_value(rows "${tlkey}" "" "${lib_help}")
  reg_value(rows "${tlkey}\\${lcid_key}\\${typelib_platform}" "" "${tlb_path}")
  reg_value(rows "${tlkey}\\FLAGS" "" "${lib_flags}")
  reg_value(rows "${tlkey}\\HELPDIR" "" "[INSTALLDIR]")

  # Its Automation interfaces, marshalled from the type library. A 64-bit
  # registration writes them into the 32-bit view too, so that 32-bit clients
  # can marshal them.
  string(REGEX MATCHALL "${attribute_list}[ \t\r\n]*(interface|dispinterface)[ \t\r\n]+[A-Za-z_][A-Za-z_0-9]*"
         interface_heads "${text}")
  set(interface_count 0)
  foreach(head IN LISTS interface_heads)
    string(REGEX MATCH "(interface|dispinterface)[ \t\r\n]+([A-Za-z_][A-Za-z_0-9]*)$" _ "${head}")
    set(kind ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    idl_flag(dual "${head}" dual)
    idl_flag(automation "${head}" oleautomation)
    if(kind STREQUAL "dispinterface")
      set(proxy ${dispatch_marshaler})
    elseif(dual OR automation)
      set(proxy ${typelib_marshaler})
    else()
      continue()  # a plain interface needs a proxy DLL of its own; none is shipped
    endif()
    if(NOT library_text MATCHES "[^A-Za-z_0-9]${name}[^A-Za-z_0-9]")
      continue()  # declared, but not part of the type library
    endif()
    idl_attribute(iid "${head}" uuid)
    string(TOUPPER "{${iid}}" iid)
    math(EXPR interface_count "${interface_count} + 1")
    foreach(view rows rows32)
      if(view STREQUAL "rows32" AND NOT win64)
        continue()
      endif()
      reg_value(${view} "Interface\\${iid}" "" "${name}")
      reg_value(${view} "Interface\\${iid}\\ProxyStubClsid" "" "${proxy}")
      reg_value(${view} "Interface\\${iid}\\ProxyStubClsid32" "" "${proxy}")
      reg_value(${view} "Interface\\${iid}\\TypeLib" "" "${libid}")
      reg_value(${view} "Interface\\${iid}\\TypeLib" "Version" "${version_key}")
    endforeach()
  endforeach()

  # Its creatable classes, under their class identifiers and as <Library>.<Class>.
  string(REGEX MATCHALL "${attribute_list}[ \t\r\n]*coclass[ \t\r\n]+[A-Za-z_][A-Za-z_0-9]*" class_heads "${text}")
  set(class_count 0)
  foreach(head IN LISTS class_heads)
    string(REGEX MATCH "coclass[ \t\r\n]+([A-Za-z_][A-Za-z_0-9]*)$" _ "${head}")
    set(name ${CMAKE_MATCH_1})
    idl_flag(noncreatable "${head}" noncreatable)
    if(noncreatable)
      continue()
    endif()
    idl_attribute(clsid "${head}" uuid)
    string(TOUPPER "{${clsid}}" clsid)
    math(EXPR class_count "${class_count} + 1")
    if(DEFINED class_progid_${lib}.${name})
      set(progid "${class_progid_${lib}.${name}}")
      set(text "${class_text_${lib}.${name}}")
      set(version "${class_version_${lib}.${name}}")
    else()
      set(progid "${lib}.${name}")
      set(text "${name}")
      set(version "")
    endif()
    reg_value(rows "CLSID\\${clsid}" "" "${text}")
    reg_value(rows "CLSID\\${clsid}\\InprocServer32" "" "${dll_path}")
    reg_value(rows "CLSID\\${clsid}\\InprocServer32" "ThreadingModel" "Apartment")
    reg_value(rows "CLSID\\${clsid}\\ProgID" "" "${progid}")
    reg_value(rows "CLSID\\${clsid}\\TypeLib" "" "${libid}")
    if(NOT version STREQUAL "")
      reg_value(rows "CLSID\\${clsid}\\Version" "" "${version}")
    endif()
    reg_value(rows "${progid}" "" "${text}")
    reg_value(rows "${progid}\\CLSID" "" "${clsid}")
  endforeach()
  message(STATUS "msi.cmake: ${lib} ${lib_version} ${libid}: ${class_count} classes, ${interface_count} interfaces")

  component_guid(guid "${lib}")
  string(APPEND com_components
    "      <Component Id=\"${lib}\" Guid=\"${guid}\" Win64=\"${win64}\">\n"
    "        <File Id=\"${lib}.dll\" Name=\"${lib}.dll\" Source=\"payload/${lib}.dll\" KeyPath=\"yes\"/>\n"
    "        <File Id=\"${lib}.tlb\" Name=\"${lib}.tlb\" Source=\"payload/${lib}.tlb\"/>\n"
    "${rows}"
    "      </Component>\n")
  string(APPEND com_refs "      <ComponentRef Id=\"${lib}\"/>\n")
  if(win64 AND NOT rows32 STREQUAL "")
    # A component without the 64-bit attribute writes into the 32-bit registry view.
    component_guid(guid "${lib}/Interfaces32")
    string(REGEX REPLACE "^        <RegistryValue " "        <RegistryValue KeyPath=\"yes\" " rows32 "${rows32}")
    string(APPEND com_components
      "      <Component Id=\"${lib}.Interfaces32\" Guid=\"${guid}\" Win64=\"no\">\n"
      "${rows32}"
      "      </Component>\n")
    string(APPEND com_refs "      <ComponentRef Id=\"${lib}.Interfaces32\"/>\n")
  endif()
endforeach()
if(libraries STREQUAL "")
  message(FATAL_ERROR "msi.cmake: no type library found in ${SOURCE_DIR}/datapak/com/*.idl or ${SOURCE_DIR}/docfile/com/*.idl")
endif()
if(missing AND NOT COM_ONLY)
  list(JOIN missing ", " missing)
  message(FATAL_ERROR "msi.cmake: missing in ${DIST_DIR}: ${missing} (build the ${ARCH} tree first)")
endif()

file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/com.wxs"
  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
  "<!-- Generated by installer/msi.cmake from the IDL files; do not edit. -->\n"
  "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
  "  <Fragment>\n"
  "    <DirectoryRef Id=\"INSTALLDIR\">\n"
  "${com_components}"
  "    </DirectoryRef>\n"
  "    <ComponentGroup Id=\"ComServers\">\n"
  "${com_refs}"
  "    </ComponentGroup>\n"
  "  </Fragment>\n"
  "</Wix>\n")

if(COM_ONLY)
  return()
endif()

# A fresh copy of everything the package carries.
file(REMOVE_RECURSE "${WORK_DIR}/payload")
file(MAKE_DIRECTORY "${WORK_DIR}/payload/Samples")
foreach(f Navreth.exe sorbel.exe)
  file(COPY_FILE "${DIST_DIR}/${f}" "${WORK_DIR}/payload/${f}")
endforeach()
foreach(lib IN LISTS libraries)
  file(COPY_FILE "${DIST_DIR}/${lib}.dll" "${WORK_DIR}/payload/${lib}.dll")
  file(COPY_FILE "${DIST_DIR}/${lib}.tlb" "${WORK_DIR}/payload/${lib}.tlb")
endforeach()

# --- sample documents ---------------------------------------------------------------
file(GLOB samples "${DIST_DIR}/samples/*.orl" "${SOURCE_DIR}/samples/*.orl")
set(sample_components "")
set(sample_refs "")
set(sample_names)
foreach(sample IN LISTS samples)
  get_filename_component(name "${sample}" NAME)
  string(TOLOWER "${name}" lower)
  if(lower MATCHES "^broken-")
    continue()  # test documents that the viewer must refuse, not samples for users
  endif()
  if(lower IN_LIST sample_names)
    continue()  # the built copy wins over the one in the source tree
  endif()
  list(APPEND sample_names "${lower}")
  string(MAKE_C_IDENTIFIER "${name}" id)
  string(SHA1 hash "${lower}")
  string(SUBSTRING "${hash}" 0 8 hash)
  set(id "Sample_${hash}_${id}")
  string(SUBSTRING "${id}" 0 70 id)
  component_guid(guid "Samples/${lower}")
  xml_escape(xname "${name}")
  file(COPY_FILE "${sample}" "${WORK_DIR}/payload/Samples/${name}" ONLY_IF_DIFFERENT)
  xml_escape(xsource "payload/Samples/${name}")
  string(APPEND sample_components
    "      <Component Id=\"${id}\" Guid=\"${guid}\" Win64=\"${win64}\">\n"
    "        <File Id=\"${id}\" Name=\"${xname}\" Source=\"${xsource}\" KeyPath=\"yes\"/>\n"
    "      </Component>\n")
  string(APPEND sample_refs "      <ComponentRef Id=\"${id}\"/>\n")
endforeach()
list(LENGTH sample_names sample_count)
if(sample_count EQUAL 0)
  message(WARNING "msi.cmake: no sample documents (*.orl) in ${DIST_DIR}/samples or ${SOURCE_DIR}/samples")
endif()
file(WRITE "${WORK_DIR}/samples.wxs"
  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
  "<!-- Generated by installer/msi.cmake from the sample documents; do not edit. -->\n"
  "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
  "  <Fragment>\n"
  "    <DirectoryRef Id=\"SAMPLESDIR\">\n"
  "${sample_components}"
  "    </DirectoryRef>\n"
  "    <ComponentGroup Id=\"Samples\">\n"
  "${sample_refs}"
  "    </ComponentGroup>\n"
  "  </Fragment>\n"
  "</Wix>\n")

# --- the user documentation as one text file ---------------------------------------
file(GLOB docs "${SOURCE_DIR}/docs/*.md")
list(SORT docs)
set(readme "Orlenne Document Viewer ${VERSION}\n\n"
  "Navreth.exe     the document viewer (Start menu: Orlenne Document Viewer)\n"
  "sorbel.exe      the command-line tool for packages and documents\n"
  "Sorbel.dll      the Sorbel.ckxDataPak COM class (type library Sorbel.tlb)\n"
  "DocFile.dll     the DocFile.ckxDocHeader and DocFile.ckxFileBlock COM classes\n"
  "Samples\\       sample documents to open in the viewer\n")
foreach(doc IN LISTS docs)
  get_filename_component(name "${doc}" NAME)
  file(READ "${doc}" body)
  string(REPLACE "\r\n" "\n" body "${body}")
  string(APPEND readme "\n\n==== ${name} ====\n\n${body}")
endforeach()
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE "${WORK_DIR}/payload/ReadMe.txt" "${readme}")

# --- the package ----------------------------------------------------------------------
get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${output_dir}")
execute_process(
  COMMAND "${WIXL}" -a ${msi_arch} -o "${OUTPUT}"
          -D Arch=${msi_arch} -D ProductVersion=${VERSION}
          -D PayloadDir=payload
          "${INSTALLER_DIR}/orlenne.wxs" "${WORK_DIR}/com.wxs" "${WORK_DIR}/samples.wxs"
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "msi.cmake: wixl failed (${status}) building ${OUTPUT}")
endif()
message(STATUS "msi.cmake: wrote ${OUTPUT} (${ARCH}, version ${VERSION}, ${sample_count} samples)")
