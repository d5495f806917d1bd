# The release a test PC takes: `cpack` in the Windows build folder makes
# Brixlanetool-<version>-win64.zip with both programs and the README as the user guide, in
# one folder. The programs are static, so nothing else needs installing beside them.
install(TARGETS brixlanetool brixlanetool-cli RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Brixlanetool)
set(CPACK_PACKAGE_VENDOR Korvenix)
set(CPACK_PACKAGE_FILE_NAME Brixlanetool-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The build keeps its debugging information; the release does not need it.
set(CPACK_STRIP_FILES ON)
include(CPack)
