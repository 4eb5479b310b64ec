# orvela_add_gtest(<name> SOURCES ... [LIBS ...])
# Native builds register every test case with ctest; cross builds register the
# whole binary as one test, because each Wine process start costs about a second.
# The target unit-tests builds every such binary.
include(GoogleTest)

function(orvela_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    set_property(GLOBAL APPEND PROPERTY ORVELA_GTESTS ${name})
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
    endif()
endfunction()

# orvela_add_ie_host_test(<name> <command...>): a page in the IE host, twice:
# on Internet Explorer's activation path (the host's default) as <name>, and
# as <name>_setclientsite with --activation=setclientsite added last to the
# command (the host, and the scripts that start it, take options after the
# page). The caller sets the properties of both.
function(orvela_add_ie_host_test name)
    add_test(NAME ${name} COMMAND ${ARGN})
    add_test(NAME ${name}_setclientsite COMMAND ${ARGN} --activation=setclientsite)
endfunction()
