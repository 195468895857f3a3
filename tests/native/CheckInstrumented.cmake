# Fails unless every object of the rule library was compiled under
# AddressSanitizer, UBSan without recovery and, when FUZZ is on, libFuzzer's
# coverage: the object code itself is the proof, whatever the build files say.
#   cmake -DNM=<nm> -DLIBRARY=<libtavo_rules.a> -DFUZZ=<ON|OFF> -P CheckInstrumented.cmake
execute_process(COMMAND ${NM} --undefined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} could not list ${LIBRARY}")
endif()

# nm names each member on a line of its own ("Settings.cpp.o:"), then the
# symbols it uses.
string(REPLACE "\n" ";" lines "${listing}")
set(objects "")
set(current "")
set(ubsan "")
foreach(line IN LISTS lines)
  if(line MATCHES "^(.+\\.o):$")
    set(current "${CMAKE_MATCH_1}")
    list(APPEND objects "${current}")
  elseif(line MATCHES "U (__asan_init)$")
    list(APPEND asan_${current} yes)
  elseif(line MATCHES "U (__sanitizer_cov_8bit_counters_init)$")
    list(APPEND coverage_${current} yes)
  elseif(line MATCHES "U (__ubsan_handle_[a-z0-9_]+)$")
    list(APPEND ubsan "${CMAKE_MATCH_1}")
  endif()
endforeach()

set(faults "")
if(NOT objects)
  list(APPEND faults "no objects in ${LIBRARY}")
endif()
foreach(object IN LISTS objects)
  if(NOT asan_${object})
    list(APPEND faults "${object}: no AddressSanitizer")
  endif()
  if(FUZZ AND NOT coverage_${object})
    list(APPEND faults "${object}: no libFuzzer coverage")
  endif()
endforeach()
# A file without any checkable operation has no UBSan call; the library as a
# whole has many, and each one must end the run instead of going on (the
# unreachable and missing-return checks always do and have no _abort form).
if(NOT ubsan)
  list(APPEND faults "no UBSan checks in the library")
endif()
foreach(handler IN LISTS ubsan)
  if(NOT handler MATCHES "_abort$" AND NOT handler MATCHES "^__ubsan_handle_(builtin_unreachable|missing_return)$")
    list(APPEND faults "${handler}: UBSan recovers instead of ending the run")
  endif()
endforeach()

if(faults)
  list(REMOVE_DUPLICATES faults)
  string(REPLACE ";" "\n  " text "${faults}")
  message(FATAL_ERROR "The rule library is not built for the sanitizer runs:\n  ${text}")
endif()
list(LENGTH objects count)
message(STATUS "${count} objects of ${LIBRARY} instrumented")
