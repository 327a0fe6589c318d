# Checks Velkano.dll's export table against exports/velkano.def (the same names, nothing
# else) and that it imports nothing but Windows' own DLLs.
# Usage: cmake -DOBJDUMP=... -DDLL=... -DDEF=... -P check_exports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

# Names listed after the [Ordinal/Name Pointer] Table heading, one "[ n] NAME" a line.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
set(exported)
foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
    list(APPEND exported "${name}")
endforeach()
list(SORT exported)

file(STRINGS ${DEF} def_lines)
set(wanted)
foreach(line IN LISTS def_lines)
    if(line MATCHES "^[ \t]+([A-Z]+@[0-9]+)[ \t]*$")
        list(APPEND wanted "${CMAKE_MATCH_1}")
    endif()
endforeach()
list(SORT wanted)

if(NOT exported STREQUAL wanted)
    message(FATAL_ERROR "exports differ\n  dll: ${exported}\n  def: ${wanted}")
endif()
list(LENGTH exported count)
message(STATUS "${count} exports, as listed: ${exported}")

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(import IN LISTS imports)
    string(REGEX REPLACE "DLL Name: " "" dll_name "${import}")
    string(TOLOWER "${dll_name}" dll_name)
    if(NOT dll_name MATCHES "^(kernel32|msvcrt|user32|ntdll)\\.dll$")
        message(FATAL_ERROR "Velkano.dll imports ${dll_name}, which Windows does not provide")
    endif()
endforeach()
message(STATUS "imports: ${imports}")
