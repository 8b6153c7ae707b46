# Raw pages through the scan engine (IO thread, pipe, reader, callback) beside memcpy of the
# same page: build/<dir>/bench/scan_bench
if(TARGET vt_sim)
  add_executable(scan_bench ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp)
  target_link_libraries(scan_bench PRIVATE vt_sim ${vt_engine_closure} benchmark::benchmark
                        Threads::Threads)
  set_target_properties(scan_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
