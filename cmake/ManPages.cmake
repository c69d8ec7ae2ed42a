# Writes a man page for `brindle` and one for each of its subcommands (brindle-serve.1, ...)
# into OUT from their --help texts, with help2man. Run as
#   cmake -DBRINDLE=path -DHELP2MAN=path -DVERSION=x.y.z -DOUT=dir -P ManPages.cmake
# The subcommands are read from `brindle --help`, so a new one gets its page without a list
# to keep.
file(MAKE_DIRECTORY ${OUT}/wrappers)
execute_process(COMMAND ${BRINDLE} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE ";" "," help "${help}")  # a CMake list would split there
string(REGEX REPLACE ".*\nSubcommands:\n" "" listed "${help}")
string(REGEX MATCHALL "\n?  ([a-z]+) +([^\n]*)" entries "${listed}")

function(page program name)
  execute_process(
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${VERSION}
            --name=${name} --section=1 --output=${OUT}/${program}.1 ${OUT}/wrappers/${program}
    COMMAND_ERROR_IS_FATAL ANY)
endfunction()

file(WRITE ${OUT}/wrappers/brindle "#!/bin/sh\nexec '${BRINDLE}' \"$@\"\n")
file(CHMOD ${OUT}/wrappers/brindle PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
page(brindle "score messages as SMS, the service that keeps them, and a simulated phone")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "\n?  ([a-z]+) +([^\n]*)" "\\1" command "${entry}")
  string(REGEX REPLACE "\n?  ([a-z]+) +([^\n]*)" "\\2" description "${entry}")
  string(REGEX REPLACE "[:;,(].*" "" description "${description}")
  file(WRITE ${OUT}/wrappers/brindle-${command}
       "#!/bin/sh\nexec '${BRINDLE}' ${command} \"$@\"\n")
  file(CHMOD ${OUT}/wrappers/brindle-${command} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  page(brindle-${command} "${description}")
endforeach()
file(REMOVE_RECURSE ${OUT}/wrappers)
file(TOUCH ${OUT}/stamp)
