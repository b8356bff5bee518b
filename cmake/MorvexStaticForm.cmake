# Makes libmorvex.a, the static form of the library: one relocatable object
# holding the core and the members of the static libraries it links
# (OpenSSL's libcrypto, Botan, ...) that the core needs, with every symbol
# local but morvex's public ones, so that it links into a program beside an
# OpenSSL (or Botan, ...) of the program's own.
#
#   cmake -DOUTPUT=<libmorvex.a> -DCORE=<libmorvex_core.a> -DARCHIVES=<a|b|...>
#         -DKEEP=<patterns|...> -DLD=... -DOBJCOPY=... -DNM=... -DAR=... -P MorvexStaticForm.cmake
#
# KEEP holds objcopy wildcards over mangled names. Of the symbols they match,
# the hidden ones (all but the public interface) become local too.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" archives "${ARCHIVES}")
string(REPLACE "|" ";" keep "${KEEP}")
set(object "${OUTPUT}.o")

# -d gives common symbols space, so that they can be made local.
run("${LD}" -r -d -o "${object}" --whole-archive "${CORE}" --no-whole-archive ${archives})

# objcopy makes global and weak symbols local, never unique ones
# (STB_GNU_UNIQUE: static variables of inline functions, inline variables):
# they are made weak first.
run("${NM}" --defined-only "${object}")
string(REGEX MATCHALL "[^\n]* u [^\n]*" unique_lines "${run_output}")
set(weaken "")
foreach(line IN LISTS unique_lines)
  string(REGEX REPLACE ".* u " "" name "${line}")
  list(APPEND weaken "--weaken-symbol=${name}")
endforeach()

# The section groups go too: a program's own copy of an inline function or
# template must not displace the now local copy this object's code uses.
set(localize --localize-hidden --wildcard --remove-section=.group)
foreach(pattern IN LISTS keep)
  list(APPEND localize "--keep-global-symbol=${pattern}")
endforeach()
run("${OBJCOPY}" ${weaken} "${object}")
run("${OBJCOPY}" ${localize} "${object}")

file(REMOVE "${OUTPUT}")
run("${AR}" rcs "${OUTPUT}" "${object}")
file(REMOVE "${object}")
