# Builds what the install and package tests install: the programs and their
# manual pages in the package preset (a release build without the tests),
# then the Debian package (build/package/corvanel_VERSION_ARCH.deb).
foreach(step "${CMAKE_COMMAND};--preset;package" "${CMAKE_COMMAND};--build;--preset;package"
             "${CPACK};--preset;package")
  execute_process(COMMAND ${step} WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${step}")
    message(FATAL_ERROR "${command} failed (${status})")
  endif()
endforeach()
