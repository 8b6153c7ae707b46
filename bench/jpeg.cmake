# The JPEG codec against libjpeg-turbo (fast integer, SIMD on and forced off):
#   build/<dir>/bench/jpeg_bench
find_package(benchmark REQUIRED)
add_executable(jpeg_bench ${CMAKE_CURRENT_LIST_DIR}/jpeg_bench.cpp)
target_link_libraries(jpeg_bench PRIVATE vt_jpeg PkgConfig::LIBJPEG benchmark::benchmark Threads::Threads)
set_target_properties(jpeg_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
