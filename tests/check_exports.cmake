# Checks the dynamic symbol table of the shared library against the one
# export list, the version script MAP, and the objects it is linked from:
#  - every name or pattern the map exports matches an exported symbol, so a
#    family whose ZRU_EXPORT markers went missing (or a stale map line) fails;
#  - every symbol the objects give default visibility (ZRU_EXPORT), apart
#    from the standard library's template instantiations, is exported, so a
#    marked declaration the map forgets fails;
#  - every name the C header declares is exported;
#  - nothing of the standard library or of the library's internals leaks.
# OBJECTS: the object files, separated by "|".
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE mangled_text RESULT_VARIABLE rc)
execute_process(COMMAND nm -D -C --defined-only ${LIBRARY}
                OUTPUT_VARIABLE demangled_text RESULT_VARIABLE rc2)
if(NOT rc EQUAL 0 OR NOT rc2 EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
# One name a line between line feeds, for whole-line matches.
string(REGEX REPLACE "(^|\n)[0-9a-f]+ [A-Za-z] " "\\1" mangled_text "${mangled_text}")
string(REGEX REPLACE "(^|\n)[0-9a-f]+ [A-Za-z] " "\\1" demangled_text "${demangled_text}")
set(mangled_text "\n${mangled_text}\n")
set(demangled_text "\n${demangled_text}\n")

string(REPLACE "\n" ";" lines "${demangled_text}")
set(count 0)
foreach(name ${lines})
  if(name STREQUAL "")
    continue()
  endif()
  math(EXPR count "${count} + 1")
  if(name MATCHES "^(std::|__gnu_cxx::|void std::)|zru_detail|ListFile|ListInfo")
    message(SEND_ERROR "exported by mistake: ${name}")
  endif()
endforeach()

# The map's global entries: C names before extern "C++", demangled C++
# names or patterns inside it ("quoted" ones are exact).
file(READ ${MAP} map)
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" map "${map}")
string(REGEX REPLACE "local:.*" "" map "${map}")
string(FIND "${map}" "extern \"C++\"" cxx_at)
string(SUBSTRING "${map}" 0 ${cxx_at} c_part)
string(SUBSTRING "${map}" ${cxx_at} -1 cxx_part)
string(REGEX REPLACE "^.*global:" "" c_part "${c_part}")
string(REGEX REPLACE "^extern \"C\\+\\+\" *{" "" cxx_part "${cxx_part}")

# Whether the pattern (a version-script glob, or an exact name when quoted)
# matches a whole line of text.
function(zru_pattern_matches pattern text result)
  set(exact FALSE)
  if(pattern MATCHES "^\"(.*)\"$")
    set(pattern "${CMAKE_MATCH_1}")
    set(exact TRUE)
  endif()
  string(REGEX REPLACE "([][.+?^$(){}|\\\\*])" "\\\\\\1" regex "${pattern}")
  if(NOT exact)
    string(REPLACE "\\*" "[^\n]*" regex "${regex}")
    string(REPLACE "\\?" "[^\n]" regex "${regex}")
  endif()
  string(REGEX MATCH "\n${regex}\n" found "${text}")
  if(found)
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

foreach(part c cxx)
  if(part STREQUAL "c")
    set(text "${mangled_text}")
  else()
    set(text "${demangled_text}")
  endif()
  # Entries end with ";"; a quoted name may hold anything but a quote.
  string(REGEX MATCHALL "(\"[^\"]*\"|[^;\" \n{}]+) *;" entries "${${part}_part}")
  foreach(entry ${entries})
    string(REGEX REPLACE " *;$" "" entry "${entry}")
    if(entry STREQUAL "" OR entry STREQUAL "}")
      continue()
    endif()
    zru_pattern_matches("${entry}" "${text}" found)
    if(NOT found)
      message(SEND_ERROR "the map exports ${entry}, but no such symbol is exported")
    endif()
  endforeach()
endforeach()

# The map exports the C names by patterns (zru*): each name the C header
# HEADER declares must be there itself.
file(READ ${HEADER} header)
string(REGEX MATCHALL "ZRU_EXPORT [^;(]*[ *]([A-Za-z_][A-Za-z0-9_]*) *[(;]" declarations "${header}")
foreach(declaration ${declarations})
  # (A matched ";" ends the list element: it is gone here.)
  string(REGEX REPLACE ".*[ *]([A-Za-z_][A-Za-z0-9_]*) *[(]?$" "\\1" name "${declaration}")
  string(FIND "${mangled_text}" "\n${name}\n" at)
  if(at EQUAL -1)
    message(SEND_ERROR "${HEADER} declares ${name}, which is not exported")
  endif()
endforeach()

# Default visibility in the objects means a ZRU_EXPORT marker (or a
# standard library instantiation, which the map keeps local).
string(REPLACE "|" ";" objects "${OBJECTS}")
execute_process(COMMAND readelf -sW ${objects} OUTPUT_VARIABLE elf RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on the objects")
endif()
string(REGEX MATCHALL "(FUNC|OBJECT) +(GLOBAL|WEAK) +DEFAULT +[0-9]+ +[^\n]+" marked "${elf}")
set(missing "")
foreach(line ${marked})
  string(REGEX REPLACE "^.* " "" name "${line}")
  # (Sanitizers add markers of their own beside the marked symbols.)
  if(name MATCHES "^_Z(N|NK|TI|TS|TV|GV|ZN|ZNK)?(St|9__gnu_cxx|NSt|NKSt)"
     OR name MATCHES "^(__odr_asan|__asan|__ubsan|__tsan|__sanitizer)")
    continue()
  endif()
  string(FIND "${mangled_text}" "\n${name}\n" at)
  if(at EQUAL -1)
    list(APPEND missing ${name})
  endif()
endforeach()
if(missing)
  list(REMOVE_DUPLICATES missing)
  execute_process(COMMAND c++filt ${missing} OUTPUT_VARIABLE names)
  message(SEND_ERROR "marked ZRU_EXPORT but hidden by the map:\n${names}")
endif()
message(STATUS "${count} exported symbols checked")
