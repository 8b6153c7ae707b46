# The data source's image process on an A4 300-dpi colour page with the usual steps (crop and
# deskew through the image plug-in, colour to grey, threshold), pages per second on one core:
#   taskset -c 2 build/<dir>/bench/image_bench
if(TARGET ds_image AND BUILD_TESTING)  # the page is drawn with the tests' plug-in helpers
  find_package(benchmark REQUIRED)
  add_executable(image_bench ${CMAKE_CURRENT_LIST_DIR}/image_bench.cpp)
  target_link_libraries(image_bench PRIVATE ds_image vt_plugin_testing benchmark::benchmark
                        Threads::Threads)
  add_dependencies(image_bench Lumetra)
  set_target_properties(image_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
