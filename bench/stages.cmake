# Throughput of the image-conversion stages against memcpy of the same buffers:
#   build/<dir>/bench/stages_bench
find_package(benchmark REQUIRED)
add_executable(stages_bench ${CMAKE_CURRENT_LIST_DIR}/stages_bench.cpp)
target_link_libraries(stages_bench PRIVATE vt_engine vt_platform benchmark::benchmark Threads::Threads)
set_target_properties(stages_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
