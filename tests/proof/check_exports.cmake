# Checks that a DLL exports exactly the four entry points of the COM module,
# by name, from its export table (objdump -p), and nothing else: no internal
# symbol, and no export by ordinal alone.
#
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DDLL=VarnoxMail.dll -P check_exports.cmake
set(expected DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot read the export table of ${DLL}")
endif()

# "Export Address Table -- Ordinal Base 1", then one "[ n] +base[ n] RVA"
# line per exported address; "[Ordinal/Name Pointer] Table", then one
# "[ n] Name" line per exported name.
string(REGEX MATCH "Export Address Table -- [^\n]*\n(([ \t]+\\[[^\n]*\n)*)" addresses "${dump}")
string(REGEX MATCHALL "\\+base" address_lines "${CMAKE_MATCH_1}")
list(LENGTH address_lines address_count)
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[^\n]*\n)*)" names "${dump}")
# Square brackets would confuse CMake's lists: "[   0] Name" becomes "(0) Name".
string(REPLACE "[" "(" names "${CMAKE_MATCH_1}")
string(REPLACE "]" ")" names "${names}")
string(REGEX MATCHALL "\\) [^\n]+" name_lines "${names}")
set(exported)
foreach(line IN LISTS name_lines)
  string(SUBSTRING "${line}" 2 -1 name)
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)

if(NOT exported STREQUAL expected OR NOT address_count EQUAL 4)
  message(FATAL_ERROR "${DLL} exports ${address_count} addresses named [${exported}]; "
                      "expected exactly [${expected}]")
endif()
message(STATUS "${DLL}: exactly the four entry points [${exported}]")
