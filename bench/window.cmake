# kesto_window_bench: a conversion run in the window against the headless
# converter on a large drawing (run by hand: it converts a 50 MB drawing
# several times).  Borrows the window tests' helpers, so it needs them too.
if(TARGET kesto_ui AND TARGET kesto_gui_test_support)
    add_executable(kesto_window_bench ${CMAKE_CURRENT_LIST_DIR}/window_bench.cpp)
    target_link_libraries(kesto_window_bench PRIVATE kesto_gui_test_support)
    target_compile_definitions(kesto_window_bench PRIVATE KESTO_CLI="$<TARGET_FILE:kesto-cli>")
    add_dependencies(kesto_window_bench kesto-cli)
endif()
