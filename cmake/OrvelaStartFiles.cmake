# 32-bit Windows: every module links our crtbegin.o (platform/startup) in
# place of the toolchain's, which would register the module's unwind tables
# with an already loaded libgcc_s_dw2-1.dll instead of the module's own
# unwinder. The driver looks for start files in -B folders first; crtend.o
# and the C runtime's entry objects still come from the toolchain.
set(ORVELA_STARTFILES ${CMAKE_BINARY_DIR}/startfiles)
set(source ${CMAKE_SOURCE_DIR}/platform/startup/crtbegin.c)
file(MAKE_DIRECTORY ${ORVELA_STARTFILES})
execute_process(
    COMMAND ${CMAKE_C_COMPILER} -O2 -fno-asynchronous-unwind-tables -fno-exceptions -Wall -Werror
        -c ${source} -o ${ORVELA_STARTFILES}/crtbegin.o
    RESULT_VARIABLE built)
if(NOT built EQUAL 0)
    message(FATAL_ERROR "Could not compile ${source}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
add_link_options(-B${ORVELA_STARTFILES}/)
