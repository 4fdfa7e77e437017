# Writes the C++ source that links a program's resources into its executable
# on the simulated machine: every "<number> RCDATA "<file>"" of the resource
# script, and the script itself, whose dialogs the machine builds.
#   cmake -DSCRIPT=<.rc file> -DOUTPUT=<.cpp file> -P embed_resources.cmake
file(STRINGS ${SCRIPT} lines REGEX "^[ \t]*[0-9]+[ \t]+RCDATA[ \t]+\"[^\"]+\"")
set(assembly "")
set(registrations "")
set(declarations "")
set(index 0)
function(embed label path)
  set(assembly "${assembly}\".globl ${label}_begin, ${label}_end\\n\"\n\".balign 16\\n\"\n\"${label}_begin:\\n\"\n\".incbin \\\"${path}\\\"\\n\"\n\"${label}_end:\\n\"\n" PARENT_SCOPE)
  set(declarations "${declarations}extern \"C\" const char ${label}_begin[];\nextern \"C\" const char ${label}_end[];\n" PARENT_SCOPE)
endfunction()
foreach(line ${lines})
  string(REGEX REPLACE "^[ \t]*([0-9]+)[ \t]+RCDATA[ \t]+\"([^\"]+)\".*" "\\1;\\2" entry "${line}")
  list(GET entry 0 id)
  list(GET entry 1 path)
  embed(winsim_resource_${index} ${path})
  set(registrations "${registrations}    winsim::addResource(10, ${id}, winsim_resource_${index}_begin, winsim_resource_${index}_end - winsim_resource_${index}_begin);\n")
  math(EXPR index "${index} + 1")
endforeach()
embed(winsim_resource_script ${SCRIPT})
file(WRITE ${OUTPUT}.tmp "// Generated from ${SCRIPT}: do not edit.
#include \"winsim/program.h\"

asm(\".pushsection .rodata\\n\"
${assembly}\".popsection\\n\");

${declarations}
namespace {

struct Registration {
  Registration() {
${registrations}    winsim::setResourceScript(winsim_resource_script_begin,
                              winsim_resource_script_end - winsim_resource_script_begin);
  }
} registration;

}  // namespace
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
