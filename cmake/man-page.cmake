# Writes orvane.1 from the program's help: cmake -DORVANE=path -DVERSION=x
# -DCOMPANIONS=dir -DOUTPUT=file -P man-page.cmake. Each part of the help goes in as
# preformatted text, with the characters roff would take as requests escaped.
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
  set(${out} "\n${text}\n" PARENT_SCOPE)
endfunction()

# The lines under "heading:" in a help text, up to the blank line that ends them.
function(help_section out text heading)
  string(REGEX MATCH "\n${heading}:[^\n]*\n([^\n]+\n)*" section "${text}")
  string(REGEX REPLACE "^\n${heading}:[^\n]*\n" "" section "${section}")
  if(NOT section)
    message(FATAL_ERROR "the help has no section '${heading}'")
  endif()
  set(${out} "${section}" PARENT_SCOPE)
endfunction()

function(preformatted out text)
  set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

help_text(main)
help_section(commands_section "${main}" "Subcommands")
string(REGEX MATCHALL "\n  [^ \n]+" commands "\n${commands_section}")
list(TRANSFORM commands REPLACE "^\n  " "")
if(NOT commands)
  message(FATAL_ERROR "orvane --help lists no commands")
endif()
string(REGEX MATCH "^\n[^\n]*" description "${main}")
string(STRIP "${description}" description)
help_section(options "${main}" "Options")
help_section(exit_status "${main}" "Exit status")
help_section(environment "${main}" "Environment")

set(command_pages "")
set(examples "")
set(keys "")
foreach(command ${commands})
  help_text(text ${command})
  string(REGEX MATCH "^\n[^\n]*" summary "${text}")
  string(STRIP "${summary}" summary)
  string(REGEX MATCH "\nUsage: [^\n]*\n" usage "${text}")
  string(REGEX REPLACE "^\n" "" usage "${usage}")
  set(command_options "")
  if(text MATCHES "\nOptions:\n")
    help_section(command_options "${text}" "Options")
  endif()
  if(text MATCHES "\nPositionals:\n")
    help_section(positionals "${text}" "Positionals")
    string(PREPEND command_options "${positionals}")
  endif()
  preformatted(block "${usage}\n${command_options}")
  string(APPEND command_pages ".SS ${command}\n${summary}\n${block}")
  if(text MATCHES "\nKeys:\n")
    help_section(keys "${text}" "Keys")
  endif()
  help_section(command_examples "${text}" "Examples")
  string(APPEND examples "${command_examples}")
endforeach()
if(NOT keys)
  message(FATAL_ERROR "no command's help lists its keys")
endif()

preformatted(options "${options}")
preformatted(commands_section "${commands_section}")
preformatted(keys "${keys}")
preformatted(exit_status "${exit_status}")
preformatted(environment "${environment}")
preformatted(examples "${examples}")
set(page ".TH ORVANE 1 \"\" \"orvane ${VERSION}\" \"User Commands\"
.SH NAME
orvane \\- plays Protracker modules and AIFF files through the Orvane plug-ins
.SH SYNOPSIS
.B orvane
[\\fB\\-\\-plugin\\-dir\\fR \\fIDIR\\fR] \\fICOMMAND\\fR [\\fIOPTIONS\\fR] [\\fIFILE\\fR...]
.SH DESCRIPTION
${description}
.SH COMMANDS
${commands_section}${command_pages}.SH OPTIONS
These come before the command; each command's own options are listed under it.
${options}.SH KEYS
While playing from a terminal:
${keys}.SH \"EXIT STATUS\"
${exit_status}.SH ENVIRONMENT
${environment}.SH FILES
The plug-ins (*.ovplug), the visualiser Zephrin and the demo song demo.mod
are looked for beside the program, and in ${COMPANIONS} from its folder
when it is installed.
.SH EXAMPLES
${examples}.SH \"SEE ALSO\"
.BR xmp (1),
.BR openmpt123 (1),
.BR sox (1)
")
file(WRITE ${OUTPUT} "${page}")
