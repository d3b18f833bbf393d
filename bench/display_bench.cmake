add_executable(display_bench display_bench.cpp)
target_link_libraries(display_bench PRIVATE ks_display benchmark::benchmark)
