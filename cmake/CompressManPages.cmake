# Run by CPack on the staged files before it packs them: gzip the manual
# pages (-n: no name or time stamp, so the package builds the same twice).
file(GLOB_RECURSE pages ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man?/*.[0-9])
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
