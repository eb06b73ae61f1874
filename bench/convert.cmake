# kesto_convert_bench: OFI to GLF throughput on a large composed drawing.
if(NOT WIN32)
    add_executable(kesto_convert_bench ${CMAKE_CURRENT_LIST_DIR}/convert_bench.cpp)
    target_link_libraries(kesto_convert_bench PRIVATE kesto_convert kesto_composer)
endif()
