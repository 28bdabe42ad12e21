# The corvanel programs: each is installed into bin with a manual page made
# from its --help by help2man (with the project's version: the git revision
# would make the pages differ between otherwise equal builds), and is built by the
# corvanel-programs target (what `./dev.sh example` builds). A new program's
# CMakeLists.txt adds one line: corvanel_program(NAME "what it does").
include(GNUInstallDirs)

find_program(CORVANEL_HELP2MAN help2man)
if(NOT CORVANEL_HELP2MAN)
  message(WARNING "help2man not found: no manual pages (install Debian's help2man)")
endif()

add_custom_target(corvanel-programs)

function(corvanel_program target summary)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_dependencies(corvanel-programs ${target})
  set_property(GLOBAL APPEND PROPERTY CORVANEL_PROGRAMS ${target})
  if(NOT CORVANEL_HELP2MAN)
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            ${CORVANEL_HELP2MAN} --no-info --section=1 "--source=Corvanel ${PROJECT_VERSION}"
            --version-string=${PROJECT_VERSION}
            "--name=${summary}" --output=${page} $<TARGET_FILE:${target}>
    DEPENDS ${target}
    COMMENT "Manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}-manual ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
