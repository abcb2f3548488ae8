# Writes a gzipped manual page for a program from its --help output.
#   cmake -DPROGRAM=path -DNAME=strella-cli -DSUMMARY="..." -DVERSION=0.1.0 -DHELP_PAGE=path -DOUTPUT=file.1.gz -P ManPage.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${status}")
endif()

# Roff reads backslashes, and a line starting with . or ' as a request.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
# The help names the program by the path it was started with.
string(REGEX REPLACE "Usage: [^ \n]*" "Usage: ${NAME}" help "${help}")
string(REPLACE "-" "\\-" name_roff "${NAME}")

file(WRITE ${OUTPUT}.tmp ".TH ${NAME} 1 \"\" \"strella ${VERSION}\" \"User Commands\"
.SH NAME
${name_roff} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
The help page ${HELP_PAGE} of the installed program.
")
execute_process(COMMAND gzip -9n -c ${OUTPUT}.tmp OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed: ${status}")
endif()
file(REMOVE ${OUTPUT}.tmp)
