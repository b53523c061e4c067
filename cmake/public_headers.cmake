# Writes the installed include tree: each public header of HEADERS (paths
# relative to SOURCE_DIR, separated by "|") is copied under
# OUTPUT_DIR/zrutils/ with its project includes spelled as a consumer spells
# them with only <prefix>/include on the include path:
#   #include "shapes/shape_file_shape.h"  ->  #include <zrutils/shapes/shape_file_shape.h>
#   #include "api/zrutils.h"              ->  #include <zrutils/zrutils.h>
# The C header's folder is left out so that hosts write <zrutils/zrutils.h>.
# A public header that includes a header not in the list would be broken
# once installed: that stops the build.
string(REPLACE "|" ";" headers "${HEADERS}")
function(zru_installed_name header result)
  if(header STREQUAL "api/zrutils.h")
    set(${result} "zrutils.h" PARENT_SCOPE)
  else()
    set(${result} "${header}" PARENT_SCOPE)
  endif()
endfunction()
foreach(header ${headers})
  file(READ "${SOURCE_DIR}/${header}" text)
  string(REGEX MATCHALL "#include \"[^\"]+\"" includes "${text}")
  foreach(line ${includes})
    string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" included "${line}")
    list(FIND headers "${included}" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${header} is installed but includes ${included}, which is not: "
                          "add it to ZRU_PUBLIC_HEADERS (when all it declares is exported) "
                          "or move what the public header needs out of it")
    endif()
    zru_installed_name("${included}" name)
    string(REPLACE "${line}" "#include <zrutils/${name}>" text "${text}")
  endforeach()
  zru_installed_name("${header}" name)
  file(WRITE "${OUTPUT_DIR}/zrutils/${name}" "${text}")
endforeach()
