# Run by CPack on the staged files before it packs them: strips the programs as dh_strip does.
# A plain strip (CPACK_STRIP_FILES) would keep the compilers' .comment section.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
if(NOT programs)
    message(FATAL_ERROR "no programs staged under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_PELORA_STRIP}" --remove-section=.comment
                            --remove-section=.note --strip-unneeded "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
