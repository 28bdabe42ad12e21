# Writes OUT, a header defining CORVANEL_REVISION: the git revision of
# SOURCE_DIR ("git describe --always --dirty") when it is a checkout, empty
# otherwise. The file is rewritten only when the text changes, so a build
# that changes nothing recompiles nothing.
set(revision "")
if(EXISTS "${SOURCE_DIR}/.git")
  find_program(CORVANEL_GIT git)
  if(CORVANEL_GIT)
    execute_process(COMMAND ${CORVANEL_GIT} describe --always --dirty
                    WORKING_DIRECTORY ${SOURCE_DIR}
                    OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR NOT revision MATCHES "^[0-9A-Za-z._+-]+$")
      set(revision "")
    endif()
  endif()
endif()
set(text "// Written by cmake/revision.cmake at build time.\n#define CORVANEL_REVISION \"${revision}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
else()
  set(old "")
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUT}" "${text}")
endif()
