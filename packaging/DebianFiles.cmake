# Run by CPack on the Debian package's folder before it is packed: Debian wants the man page
# compressed (gzip -9n, no name or time in the header), a copyright file and a changelog whose
# newest entry is the version being packed.
set(usr ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${usr}/share/doc/${CPACK_PACKAGE_NAME})

file(STRINGS ${CPACK_ZORBEL_PACKAGING_DIR}/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^${CPACK_PACKAGE_NAME} \\(([^)]+)\\)")
    message(FATAL_ERROR "packaging/changelog does not begin with an entry for "
                        "${CPACK_PACKAGE_NAME}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL CPACK_PACKAGE_VERSION)
    message(FATAL_ERROR "packaging/changelog's newest entry is ${CMAKE_MATCH_1}, the package is "
                        "${CPACK_PACKAGE_VERSION}: add an entry for ${CPACK_PACKAGE_VERSION}")
endif()

file(MAKE_DIRECTORY ${doc})
file(COPY ${CPACK_ZORBEL_PACKAGING_DIR}/copyright ${CPACK_ZORBEL_PACKAGING_DIR}/changelog
     DESTINATION ${doc} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
foreach(file ${doc}/changelog ${usr}/share/man/man1/zorbel.1)
    if(NOT EXISTS ${file})
        message(FATAL_ERROR "${file} is missing from the package")
    endif()
    execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip -9n ${file} failed")
    endif()
endforeach()
