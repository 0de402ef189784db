# Run at every build (cmake -P): writes OUT, a source that defines the
# programs' version line from VERSION and the git commit of SOURCE_DIR, and
# touches it only when the line changed, so an unchanged commit rebuilds
# nothing.
find_package(Git QUIET)
set(commit "")
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    set(commit "")
  else()
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} status --porcelain
                            --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(changes)
      string(APPEND commit ", with uncommitted changes")
    endif()
  endif()
endif()
if(commit)
  set(line "${VERSION} (git commit ${commit})")
else()
  set(line "${VERSION} (not built from a git checkout)")
endif()
set(text "// Written by cmake/WriteVersion.cmake at build time.\n#include \"app/version.h\"\n\nconst char* tidewell::VersionLine() { return \"${line}\"; }\n")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
