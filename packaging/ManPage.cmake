# Writes the gzipped manual page of one program from its --help and --version:
#   cmake -DHELP2MAN=... -DPROGRAM=... -DSUMMARY=... -DOUTPUT=page.1.gz [-DHELP_OPTION=--help-all]
#         -P ManPage.cmake

# A sanitizer build's program would report Qt's allocations that live until exit as leaks.
set(ENV{ASAN_OPTIONS} detect_leaks=0)
if(NOT HELP_OPTION)
  set(HELP_OPTION --help)
endif()
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 --name=${SUMMARY} --help-option=${HELP_OPTION}
          ${PROGRAM}
  OUTPUT_VARIABLE page
  COMMAND_ERROR_IS_FATAL ANY)

# help2man makes a heading of the help such as "Exit status:" a subsection of the one before;
# each is a section of its own.
string(REGEX MATCHALL "\n\\.SS \"[^\"\n]+:\"\n" subsections "${page}")
foreach(subsection IN LISTS subsections)
  string(REGEX REPLACE "\n\\.SS \"([^\"\n]+):\"\n" "\\1" heading "${subsection}")
  string(TOUPPER "${heading}" heading)
  string(REPLACE "${subsection}" "\n.SH \"${heading}\"\n" page "${page}")
endforeach()

string(REGEX REPLACE "\\.gz$" "" unzipped ${OUTPUT})
file(WRITE ${unzipped} "${page}")
execute_process(COMMAND gzip -9nf ${unzipped} COMMAND_ERROR_IS_FATAL ANY)
