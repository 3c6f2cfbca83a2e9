# Writes orvane.1 from the program's help: cmake -DORVANE=path -DVERSION=x
# -DCOMPANIONS=dir -DOUTPUT=file -P man-page.cmake. Each help text goes in as preformatted
# text, with the characters roff would take as requests escaped.
function(help_text out)
  execute_process(COMMAND ${ORVANE} ${ARGN} --help
    OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "orvane ${ARGN} --help failed: ${status}")
  endif()
  string(REPLACE "\\" "\\e" text "${text}")
  # Minus signs, so options can be searched for and copied as typed.
  string(REPLACE "-" "\\-" text "${text}")
  # A line starting with . or ' would be a request.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

help_text(main)
# The commands, as the help lists them.
execute_process(COMMAND ${ORVANE} --help OUTPUT_VARIABLE help)
string(REGEX MATCH "\nSubcommands:\n(  [^\n]*\n)+" section "${help}")
string(REGEX MATCHALL "\n  [^ \n]+" commands "${section}")
list(TRANSFORM commands REPLACE "^\n  " "")
if(NOT commands)
  message(FATAL_ERROR "orvane --help lists no commands")
endif()
set(page ".TH ORVANE 1 \"\" \"orvane ${VERSION}\" \"User Commands\"
.SH NAME
orvane \\- plays Protracker modules and AIFF files through the Orvane plug-ins
.SH SYNOPSIS
.B orvane
[\\fB\\-\\-plugin\\-dir\\fR \\fIDIR\\fR] \\fICOMMAND\\fR [\\fIOPTIONS\\fR] [\\fIFILE\\fR...]
.SH DESCRIPTION
.nf
${main}.fi
")
foreach(command ${commands})
  help_text(text ${command})
  # The examples come once, in the description.
  string(REGEX REPLACE "\nExamples:.*" "\n" text "${text}")
  string(APPEND page ".SH \"orvane ${command}\"\n.nf\n${text}.fi\n")
endforeach()
string(APPEND page ".SH FILES
The plug-ins (*.ovplug), the visualiser Zephrin and the demo song demo.mod
are looked for beside the program, and in ${COMPANIONS} from its folder
when it is installed.
")
file(WRITE ${OUTPUT} "${page}")
