# Fills the SETTINGS entries of a manual page (the line @SETTINGS@ of IN) with what the
# built PROGRAM prints for --describe-settings man, and writes the page to OUT.
execute_process(COMMAND ${PROGRAM} --describe-settings man OUTPUT_VARIABLE entries RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --describe-settings man failed: ${status}")
endif()
file(READ ${IN} page)
string(REPLACE "@SETTINGS@\n" "${entries}" page "${page}")
file(WRITE ${OUT} "${page}")
