# Run after Zorbel.exe is linked (cmake -DOBJDUMP=... -DEXE=... -DLIST=... -P CheckImports.cmake).
# Fails the build when the program imports a function that the reviewed list does not name (every
# function there exists on 32-bit Windows XP SP3), when the list names one the program no longer
# imports (so the list stays the program's true import list), or when the PE header asks for a
# Windows newer than XP (5.1).
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cannot read the imports of ${EXE}")
endif()

# The header's version fields: XP refuses a program whose OS or subsystem version is above 5.1.
foreach(field OSystem Subsystem)
    string(REGEX MATCH "Major${field}Version[ \t]+([0-9]+)" _ "${dump}")
    set(major ${CMAKE_MATCH_1})
    string(REGEX MATCH "Minor${field}Version[ \t]+([0-9]+)" _ "${dump}")
    set(minor ${CMAKE_MATCH_1})
    if("${major}" STREQUAL "" OR "${minor}" STREQUAL "")
        message(FATAL_ERROR "${EXE}: no ${field} version in its PE header")
    endif()
    if(major GREATER 5 OR (major EQUAL 5 AND minor GREATER 1))
        message(FATAL_ERROR "${EXE}: ${field} version ${major}.${minor} is newer than XP's 5.1")
    endif()
endforeach()

# Every "DLL function" pair the program imports. A line that names no function (an import by
# ordinal) is kept whole, so it can never match the list by accident.
set(imported "")
set(dll "")
string(REGEX MATCHALL "[^\n]*\n" lines "${dump}")
foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line MATCHES "^DLL Name: (.+)$")
        string(TOLOWER "${CMAKE_MATCH_1}" dll)
    elseif(line STREQUAL "" OR line MATCHES "^vma:" OR line MATCHES "^The Import Tables")
        if(line STREQUAL "")
            set(dll "")
        endif()
    elseif(NOT dll STREQUAL "")
        if(line MATCHES "^[0-9a-f]+[ \t]+[0-9]+[ \t]+([A-Za-z_][A-Za-z0-9_@?$]*)$")
            list(APPEND imported "${dll} ${CMAKE_MATCH_1}")
        else()
            list(APPEND imported "${dll} ${line}")
        endif()
    endif()
endforeach()
if(NOT imported)
    message(FATAL_ERROR "${EXE}: found no imports in objdump's output")
endif()

# The list: "DLL function first-Windows" per line, # starts a comment.
file(STRINGS ${LIST} rows)
set(listed "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE "#.*" "" row "${row}")
    string(STRIP "${row}" row)
    if(row MATCHES "^([^ \t]+)[ \t]+([^ \t]+)")
        string(TOLOWER "${CMAKE_MATCH_1}" listed_dll)
        list(APPEND listed "${listed_dll} ${CMAKE_MATCH_2}")
    endif()
endforeach()

set(unreviewed ${imported})
list(REMOVE_ITEM unreviewed ${listed})
set(stale ${listed})
list(REMOVE_ITEM stale ${imported})
if(unreviewed OR stale)
    foreach(kind unreviewed stale)
        if(NOT ${kind})
            set(${kind} "(none)")
        endif()
        list(JOIN ${kind} "\n  " ${kind})
    endforeach()
    message(FATAL_ERROR "${EXE} does not import what ${LIST} lists.\n"
            "Imported but not listed (check that XP SP3 has it, or look it up at run time):\n"
            "  ${unreviewed}\nListed but no longer imported (remove from the list):\n  ${stale}")
endif()
list(LENGTH imported count)
message(STATUS "Zorbel.exe imports ${count} functions, each on the reviewed list")
