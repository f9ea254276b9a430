# Checks that the shared library exports exactly the four API functions.
# Usage: cmake -DNM=<nm> -DLIBRARY=<path> -P check_exports.cmake
set(wanted UPS_DeviceClose UPS_DeviceOpen UPS_ReadRegisters UPS_WriteRegisters)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${errors}")
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(found "")
set(unexpected "")
foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ ]+)$")
        set(type ${CMAKE_MATCH_1})
        set(name ${CMAKE_MATCH_2})
        list(FIND wanted "${name}" at)
        if(at GREATER_EQUAL 0 AND type STREQUAL "T")
            list(APPEND found ${name})
        else()
            list(APPEND unexpected "${type} ${name}")
        endif()
    elseif(NOT line STREQUAL "")
        list(APPEND unexpected "${line}")
    endif()
endforeach()

list(SORT found)
if(NOT found STREQUAL wanted OR unexpected)
    message(FATAL_ERROR "exports of ${LIBRARY}\n  functions found: ${found}\n"
                        "  unexpected: ${unexpected}")
endif()
message(STATUS "exactly the four API functions are exported")
