# The Windows version resource of a program (Properties, Details; the
# installer's list of programs reads the same version).
enable_language(RC)

# pd_version_resource(<target> <description>): FILEVERSION and the version
# texts from the project's version, the file name from the target's.
function(pd_version_resource target description)
  set(PD_VERSION ${PROJECT_VERSION})
  string(REPLACE "." ";" parts "${PROJECT_VERSION}.0.0.0")
  list(SUBLIST parts 0 4 parts)
  list(JOIN parts "," PD_VERSION_COMMAS)
  set(PD_INTERNAL_NAME ${target})
  set(PD_FILE_NAME ${target}.exe)
  set(PD_DESCRIPTION ${description})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()
