# Writes a program's manual page, gzip-compressed, from what its --help and --version print,
# with Debian's help2man. For a program with commands, each command's own --help text
# follows as a section of its own.
# Usage: cmake -DHELP2MAN=... -DPROGRAM=... -DSUMMARY=... [-DCOMMANDS=a;b] -DOUTPUT=x.1.gz
#              -P manual_page.cmake
foreach(variable HELP2MAN PROGRAM SUMMARY OUTPUT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "manual_page.cmake: ${variable} is not set")
    endif()
endforeach()
get_filename_component(name "${PROGRAM}" NAME_WE)
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")

set(arguments --no-info --section=1 "--name=${SUMMARY}")
if(COMMANDS)
    set(include_text "[COMMANDS]\n")
    foreach(command IN LISTS COMMANDS)
        execute_process(COMMAND "${PROGRAM}" ${command} --help
                        OUTPUT_VARIABLE help RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "${name} ${command} --help failed (${status})")
        endif()
        # As it is printed: roff's escape character and lines that roff would read as
        # requests are quoted.
        string(REPLACE "\\" "\\e" help "${help}")
        string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
        string(APPEND include_text ".SS \"${name} ${command}\"\n.nf\n${help}.fi\n")
    endforeach()
    file(WRITE "${page}.include" "${include_text}")
    list(APPEND arguments "--include=${page}.include")
endif()

# help2man takes the synopsis from a "Usage:" line and the "or:" lines after it; a usage
# continued on lines aligned under the first gets "or:" through a wrapper of the same name.
set(wrapper "${page}.d/${name}")
file(WRITE "${wrapper}" "#!/bin/sh\n\"${PROGRAM}\" \"$@\" | sed 's/^       ${name} /   or: ${name} /'\n")
execute_process(COMMAND chmod +x "${wrapper}")
execute_process(COMMAND "${HELP2MAN}" ${arguments} "--output=${page}" "${wrapper}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed on ${PROGRAM} (${status})")
endif()
# Compressed as Debian installs manual pages: -n keeps the name and time out of the header,
# so that the same page gives the same bytes.
file(REMOVE "${OUTPUT}")
execute_process(COMMAND gzip -9 -n -f "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${page} (${status})")
endif()
