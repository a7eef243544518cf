# Writes the version header: the project version plus the commit of the checkout.
# Run as a script (cmake -P) at every build, so the commit is never stale; configure_file
# rewrites the header only when its text changes, so an unchanged commit rebuilds nothing.
# In:  SOURCE_DIR, OUT, TARVEX_VERSION, GIT_EXECUTABLE (may be empty).
set(TARVEX_COMMIT "")
if(GIT_EXECUTABLE AND EXISTS "${SOURCE_DIR}/.git")
  # A tarball unpacked inside some other checkout must not take that checkout's commit:
  # only a .git of our own counts (a file in a worktree, a folder in a clone).
  execute_process(COMMAND "${GIT_EXECUTABLE}" describe --always --dirty
                  WORKING_DIRECTORY "${SOURCE_DIR}"
                  OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(status EQUAL 0)
    set(TARVEX_COMMIT "${described}")
  endif()
endif()
if(TARVEX_COMMIT)
  set(TARVEX_VERSION_TEXT "${TARVEX_VERSION} (${TARVEX_COMMIT})")
else()
  set(TARVEX_VERSION_TEXT "${TARVEX_VERSION}")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/version.h.in" "${OUT}" @ONLY)
