# Throughput of the scan engine's pipe (one writer, one reader thread) beside memcpy of the same
# bytes: build/<dir>/bench/pipe_bench
find_package(benchmark REQUIRED)
add_executable(pipe_bench ${CMAKE_CURRENT_LIST_DIR}/pipe_bench.cpp)
target_link_libraries(pipe_bench PRIVATE ${vt_engine_closure} benchmark::benchmark
                      Threads::Threads)
set_target_properties(pipe_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
