# Run by CPack on the staged files before it packs them: strips the programs and the program's
# own libraries as dh_strip does. A plain strip (CPACK_STRIP_FILES) would keep the compilers'
# .comment section.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
file(GLOB_RECURSE libraries LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/lib/*/pelora/*.so")
if(NOT programs OR NOT libraries)
    message(FATAL_ERROR "no programs or libraries staged under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
list(APPEND programs ${libraries})
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_PELORA_STRIP}" --remove-section=.comment
                            --remove-section=.note --strip-unneeded "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
