# The Debian package: `cpack -G DEB` in a release build (the package preset).
# Its library dependencies are found by dpkg-shlibdeps where the machine has it.
set(CPACK_PACKAGE_NAME corvanel)
set(CPACK_PACKAGE_VENDOR "Corvanel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "face-turning cut simulator: forces, vibration, chatter and wear")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Corvanel simulates a face-turning cut on a lathe, revolution by revolution:\n"
  "the cutting forces from empirical coefficients of the material pair, the\n"
  "vibration of the spindle-workpiece and tool structures, regenerative chatter,\n"
  "flank wear and process damping. corvanel-plot draws a run's results with\n"
  "gnuplot. corvanel-sweep maps stability over spindle speed and depth of cut,\n"
  "running the jobs through GNU parallel or a Slurm array.")
set(CPACK_PACKAGE_CONTACT "Corvanel developers <corvanel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(CORVANEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(CORVANEL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  message(WARNING "dpkg-shlibdeps not found (Debian's dpkg-dev): the package declares no library dependencies")
endif()
# corvanel-plot draws with gnuplot; corvanel-sweep runs through GNU parallel
# when it is there and falls back to its own pool when not.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gnuplot-nox | gnuplot")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "parallel")
include(CPack)
