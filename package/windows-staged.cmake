# Run by CPack once it has staged the files of the installer or the zip, before it packs them:
# zelvax.exe is signed when a certificate is given, and every file and folder gets the last
# commit's time, which the zip records.
set(staged ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
file(GLOB_RECURSE programs ${staged}/zelvax.exe)
foreach(program IN LISTS programs)
  execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/windows-sign.sh ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  file(GLOB_RECURSE entries LIST_DIRECTORIES true ${staged}/*)
  execute_process(COMMAND touch -h -d @$ENV{SOURCE_DATE_EPOCH} ${staged} ${entries}
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
