# Writes OUT, a header defining KWELLOR_MODEL_PATTERNS: the file patterns the importer reads,
# as IMPORTER (zelnary-import --extensions) lists them. Rewritten only when they change.
execute_process(COMMAND ${IMPORTER} --extensions OUTPUT_VARIABLE patterns
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR patterns STREQUAL "")
  message(FATAL_ERROR "${IMPORTER} --extensions failed (${result})")
endif()
set(text "// Generated from zelnary-import --extensions: the file patterns the importer reads.
#pragma once
#define KWELLOR_MODEL_PATTERNS \"${patterns}\"
")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
