# Runs a command that must fail with a given exit status and a message on stderr.
# -DCOMMAND= (its parts separated by '|') -DWANT_STATUS= -DWANT_MESSAGE= (a regular expression)
string(REPLACE "|" ";" command "${COMMAND}")
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL WANT_STATUS OR NOT errors MATCHES "${WANT_MESSAGE}")
    message(FATAL_ERROR "wanted exit status ${WANT_STATUS} and a message matching '${WANT_MESSAGE}', got ${status}:\n"
                        "${output}${errors}")
endif()
message("${errors}")
