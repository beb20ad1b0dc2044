# Writes the program's man pages from its own help, so that they never tell another story:
# kinetra(1) from `kinetra --help`, and kinetra-COMMAND(1) from `kinetra COMMAND --help` for
# each command that help lists, named by the command's own description.
#   cmake -DPROGRAM=build/kinetra -DVERSION=0.1.0 -DHELP2MAN=/usr/bin/help2man -DOUTPUT=build/man -P ManPages.cmake
file(REMOVE_RECURSE ${OUTPUT})
file(MAKE_DIRECTORY ${OUTPUT})

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE ".*\nSubcommands:\n" "" listing "${help}")
string(REGEX MATCHALL "(^|\n)  [a-z]+ " commands "${listing}")
list(TRANSFORM commands STRIP)

function(write_page page name help_option include)
  execute_process(COMMAND ${HELP2MAN} --no-info --version-string=${VERSION} --name=${name}
                          --help-option=${help_option} --include=${include} ${PROGRAM}
                  OUTPUT_VARIABLE roff COMMAND_ERROR_IS_FATAL ANY)
  # help2man names a page after the program; a command's page carries the command's name.
  string(TOUPPER ${page} title)
  string(REGEX REPLACE "\n\\.TH [A-Z]+ " "\n.TH ${title} " roff "${roff}")
  string(REGEX REPLACE "\n\\.SH NAME\n[a-z]+ " "\n.SH NAME\n${page} " roff "${roff}")
  file(WRITE ${OUTPUT}/${page}.1 "${roff}")
  execute_process(COMMAND gzip -9n ${OUTPUT}/${page}.1 COMMAND_ERROR_IS_FATAL ANY)
endfunction()

set(see_also "")
foreach(command ${commands})
  execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE "\n.*" "" description "${help}")
  string(SUBSTRING "${description}" 0 1 first)
  string(SUBSTRING "${description}" 1 -1 rest)
  string(TOLOWER "${first}" first)
  set(description "${first}${rest}")
  file(WRITE ${OUTPUT}/${command}.h2m "[SEE ALSO]\nkinetra(1)\n")
  write_page(kinetra-${command} "${description}" "${command} --help" ${OUTPUT}/${command}.h2m)
  file(REMOVE ${OUTPUT}/${command}.h2m)
  list(APPEND see_also "kinetra-${command}(1)")
endforeach()

list(JOIN see_also ", " see_also)
file(WRITE ${OUTPUT}/kinetra.h2m "[SEE ALSO]\n${see_also}\n")
write_page(kinetra "render clips through the Kinetra plug-ins and check their scripts" --help ${OUTPUT}/kinetra.h2m)
file(REMOVE ${OUTPUT}/kinetra.h2m)
