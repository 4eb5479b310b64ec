# IDL and resources for the Windows build.
#
# orvela_add_idl(<target> <file.idl> [DEFINES name...] [TLB_ENCODING codec])
#   Runs widl three times over <file.idl> (with -D for each name given) and
#   makes <target>, a static library
#   holding the interface identifiers (<name>_i.c). Linking it gives the
#   generated header <name>.h on the include path. The type library's path is
#   the target property ORVELA_TLB (<build dir>/<name>.tlb); the custom target
#   <target>_tlb builds it. With TLB_ENCODING, the type library is written
#   from a copy of the (UTF-8) file in that code page (a Python codec name), so
#   its help strings hold text beyond ASCII as the readers' code page has it.
#
# orvela_embed_resources(<target> <file.rc> [DEPENDS files...])
#   Compiles <file.rc> into <target> with windres. The .rc file names the type
#   libraries and registry scripts by bare file name: the source folder and the
#   current build folder are searched. Files named in the .rc that stand in the
#   source folder are tracked by themselves; DEPENDS adds generated ones (type
#   libraries) that the resources must be rebuilt after.
#
# widl 7.0 damages the library's GUID in type libraries that hold a
# dispinterface; fix-widl-typelib.py repairs it after each run.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(ORVELA_WIDL x86_64-w64-mingw32-widl CACHE STRING "IDL compiler")
    set(ORVELA_WIDL_TARGET --win64)
    set(ORVELA_WIDL_LIBPATH /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "stdole2.tlb")
else()
    set(ORVELA_WIDL i686-w64-mingw32-widl CACHE STRING "IDL compiler")
    set(ORVELA_WIDL_TARGET --win32)
    # Without Wine's 32-bit half (on 64-bit-only machines) its 64-bit stdole2
    # stands in: only its type definitions are imported.
    if(EXISTS /usr/lib/i386-linux-gnu/wine/i386-windows/stdole2.tlb)
        set(ORVELA_WIDL_LIBPATH /usr/lib/i386-linux-gnu/wine/i386-windows CACHE PATH "stdole2.tlb")
    else()
        set(ORVELA_WIDL_LIBPATH /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "stdole2.tlb")
    endif()
endif()
set(ORVELA_WIDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "System IDL files")

set(ORVELA_FIX_TLB ${CMAKE_CURRENT_LIST_DIR}/fix-widl-typelib.py)
set(ORVELA_TRANSCODE_IDL ${CMAKE_CURRENT_LIST_DIR}/transcode-idl.py)

function(orvela_add_idl target idl)
    cmake_parse_arguments(ARG "" "TLB_ENCODING" "DEFINES" ${ARGN})
    get_filename_component(idl_abs ${idl} ABSOLUTE)
    get_filename_component(name ${idl} NAME_WE)
    get_filename_component(idl_dir ${idl_abs} DIRECTORY)
    set(out ${CMAKE_CURRENT_BINARY_DIR})
    set(widl ${ORVELA_WIDL} ${ORVELA_WIDL_TARGET} -I ${idl_dir} -I ${ORVELA_WIDL_INCLUDE} -L ${ORVELA_WIDL_LIBPATH})
    foreach(define IN LISTS ARG_DEFINES)
        list(APPEND widl -D${define})
    endforeach()
    set(tlb_idl ${idl_abs})
    set(transcode)
    if(ARG_TLB_ENCODING)
        set(tlb_idl ${out}/${name}.${ARG_TLB_ENCODING}.idl)
        set(transcode COMMAND python3 ${ORVELA_TRANSCODE_IDL} ${idl_abs} ${tlb_idl} ${ARG_TLB_ENCODING})
    endif()
    add_custom_command(
        OUTPUT ${out}/${name}.h ${out}/${name}_i.c ${out}/${name}.tlb
        COMMAND ${widl} -h -o ${out}/${name}.h ${idl_abs}
        COMMAND ${widl} -u -o ${out}/${name}_i.c ${idl_abs}
        ${transcode}
        COMMAND ${widl} -t -o ${out}/${name}.tlb ${tlb_idl}
        COMMAND python3 ${ORVELA_FIX_TLB} ${idl_abs} ${out}/${name}.tlb
        DEPENDS ${idl_abs} ${ORVELA_FIX_TLB} ${ORVELA_TRANSCODE_IDL}
        COMMENT "widl ${name}.idl"
        VERBATIM)
    add_custom_target(${target}_tlb DEPENDS ${out}/${name}.tlb ${out}/${name}.h)
    add_library(${target} STATIC ${out}/${name}_i.c)
    add_dependencies(${target} ${target}_tlb)
    target_include_directories(${target} PUBLIC ${out})
    set_target_properties(${target} PROPERTIES ORVELA_TLB ${out}/${name}.tlb)
endfunction()

function(orvela_embed_resources target rc)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    get_filename_component(rc_abs ${rc} ABSOLUTE)
    target_sources(${target} PRIVATE ${rc_abs})
    # Files that the .rc names and that stand in the source folder (registry
    # scripts, bitmaps) are dependencies too: windres does not report them.
    set(deps ${ARG_DEPENDS})
    file(STRINGS ${rc_abs} rc_lines REGEX "\"[^\"]+\"")
    foreach(line IN LISTS rc_lines)
        string(REGEX MATCHALL "\"[^\"]+\"" quoted "${line}")
        foreach(name IN LISTS quoted)
            string(REPLACE "\"" "" name "${name}")
            if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${name}
                    AND NOT IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${name})
                list(APPEND deps ${CMAKE_CURRENT_SOURCE_DIR}/${name})
            endif()
        endforeach()
    endforeach()
    set_source_files_properties(${rc_abs} PROPERTIES
        OBJECT_DEPENDS "${deps}"
        INCLUDE_DIRECTORIES "${CMAKE_CURRENT_SOURCE_DIR};${CMAKE_CURRENT_BINARY_DIR}")
endfunction()
