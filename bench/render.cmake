# kesto_render_bench: a large GLF file drawn to PNG, PDF and SVG, against the
# conversion that made it.
if(NOT WIN32 AND TARGET kesto_render)
    add_executable(kesto_render_bench ${CMAKE_CURRENT_LIST_DIR}/render_bench.cpp)
    target_link_libraries(kesto_render_bench PRIVATE kesto_render kesto_convert kesto_composer)
endif()
