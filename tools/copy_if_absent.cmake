# cmake -DSOURCE=... -DTARGET=... -P copy_if_absent.cmake
# Files the operator edits in the program folder (settings, profiles) are laid once and never overwritten.
if(NOT EXISTS "${TARGET}")
  configure_file("${SOURCE}" "${TARGET}" COPYONLY)
endif()
