# Writes a header that names the exports the module binds (the module's own list,
# ica/driver_exports.def) and the built driver library lacks (-DLIBRARY=<libVantrel.so>
# -DOUTPUT=<header> -DEXPORTS=<the list>). While the driver is being built up, the module's tests
# reach the real driver through a library that adds those exports and nothing else.
file(STRINGS ${EXPORTS} lines REGEX "^VT_ICA_EXPORT\\(")
set(exports)
foreach(line ${lines})
  string(REGEX REPLACE "^VT_ICA_EXPORT\\(([A-Za-z0-9_]+)\\).*" "\\1" name "${line}")
  list(APPEND exports ${name})
endforeach()
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm cannot read ${LIBRARY}")
endif()
set(content "// Generated from ${LIBRARY}: the bound exports it lacks.\n#pragma once\n")
foreach(name ${exports})
  if(NOT symbols MATCHES " T ${name}\n")
    string(APPEND content "#define VT_DRIVER_LACKS_${name} 1\n")
  endif()
endforeach()
file(WRITE ${OUTPUT}.new "${content}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
