# The site lock, with the machine's list of allowed sites set to one site in
# the prefix for each test and taken out after it. The list would change what
# every other page meets, so these tests run alone.
set(site_list_run ${CMAKE_CURRENT_SOURCE_DIR}/with_site_list.sh ${wine} "http://cams.example.com")
set(listed_page "http://cams.example.com/view.html")
set(other_page "http://evil.example/")

foreach(case allowed refused moved)
    if(case STREQUAL "refused")
        set(url ${other_page})
    else()
        set(url ${listed_page})
    endif()
    # The NPAPI browser, then the plug-in as an ActiveX control in the IE host.
    add_test(NAME page_site_lock_${case}
        COMMAND ${site_list_run} ${wine} $<TARGET_FILE:npapi-browser> --timeout 40
                --page-url ${url} "Z:${CMAKE_CURRENT_SOURCE_DIR}/site_lock_${case}.html")
    set_tests_properties(page_site_lock_${case} PROPERTIES
        FIXTURES_REQUIRED "camera_sim;nporvela_npapi")
    add_test(NAME activex_page_site_lock_${case}
        COMMAND ${site_list_run} ${wine} $<TARGET_FILE:ie-host> --timeout 40 --journal
                --page-url ${url} "Z:${CMAKE_CURRENT_SOURCE_DIR}/site_lock_${case}.html")
    set_tests_properties(activex_page_site_lock_${case} PROPERTIES
        FIXTURES_REQUIRED "camera_sim;activex_control")
    # The bridge, out of process from the 64-bit IE host.
    add_test(NAME bridge_page_x64_site_lock_${case}
        COMMAND ${site_list_run} ${CMAKE_SOURCE_DIR}/tests/bridge/run_bridge_page.sh ${wine}
                $<TARGET_FILE:camera_sim_request> $<TARGET_FILE:ie-host> $<TARGET_FILE:orvelaX64>
                "Z:${CMAKE_CURRENT_SOURCE_DIR}/x64_site_lock.html" --journal --page-url ${url})
    set_tests_properties(bridge_page_x64_site_lock_${case} PROPERTIES
        FIXTURES_REQUIRED "camera_sim;bridge_server"
        ENVIRONMENT ORVELA_SITE_EXPECT=${case}
        PASS_REGULAR_EXPRESSION "PASSED")
    set_tests_properties(page_site_lock_${case} activex_page_site_lock_${case}
        bridge_page_x64_site_lock_${case} PROPERTIES
        RUN_SERIAL TRUE TIMEOUT 90 FAIL_REGULAR_EXPRESSION "FAIL|fault: |Uncaught")
endforeach()
