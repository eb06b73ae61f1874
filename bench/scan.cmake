# kesto_scan_bench: the automatic file selection over a folder of 10,000
# files, 1,000 of them OFI files.  Google Benchmark when installed, otherwise
# a plain timing program with the same figure.
if(TARGET kesto_job)
    add_executable(kesto_scan_bench ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp)
    target_link_libraries(kesto_scan_bench PRIVATE kesto_job)
    if(benchmark_FOUND)
        target_link_libraries(kesto_scan_bench PRIVATE benchmark::benchmark)
        target_compile_definitions(kesto_scan_bench PRIVATE KESTO_HAVE_BENCHMARK)
    endif()
endif()
