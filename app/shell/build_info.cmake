# Writes OUTPUT, a header with the project's VERSION and the commit SOURCE_DIR is checked out at
# ("unknown" when SOURCE_DIR is not the top of a git work tree, or git is missing). Run on every
# build; the file is rewritten only when its content changes, so an unchanged commit rebuilds nothing.
set(commit unknown)
find_program(git_program git)
if(git_program)
  execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} rev-parse --show-toplevel --short=12 HEAD
    OUTPUT_VARIABLE found RESULT_VARIABLE failed ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  # A tree without git of its own inside another repository must not take that repository's commit.
  if(NOT failed AND found MATCHES "^(.*)\n([0-9a-f]+)$")
    file(REAL_PATH "${CMAKE_MATCH_1}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(top STREQUAL source)
      set(commit ${CMAKE_MATCH_2})
    endif()
  endif()
endif()
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "#define ORVEL_VERSION \"${VERSION}\"\n#define ORVEL_BUILD_COMMIT \"${commit}\"\n")
