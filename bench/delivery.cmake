# kesto_delivery_bench: a large GLF file through a private print server, ours
# against `lp -o raw`.  Needs the test helpers (and so the tests) and cupsd.
if(NOT WIN32 AND TARGET kesto_test_support AND TARGET kesto_delivery)
    add_executable(kesto_delivery_bench ${CMAKE_CURRENT_LIST_DIR}/delivery_bench.cpp)
    target_link_libraries(kesto_delivery_bench PRIVATE kesto_delivery kesto_test_support)
endif()
