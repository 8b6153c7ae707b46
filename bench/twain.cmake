# A duplex colour A4 batch at 300 dpi through the data source by memory transfer, beside the
# scan layer's own page loop over the same pages: build/<dir>/bench/twain_bench
if(TARGET ds_twain AND TARGET vantrel-sim AND TARGET vt_twain_host)
  add_executable(twain_bench ${CMAKE_CURRENT_LIST_DIR}/twain_bench.cpp)
  target_link_libraries(twain_bench PRIVATE ds_twain vt_twain_host vantrel-sim benchmark::benchmark
                        Threads::Threads)
  target_include_directories(twain_bench PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(twain_bench PRIVATE ${FERROLITE_BUILD_TREE_DEFINITIONS})
  add_dependencies(twain_bench Vantrel vantrel-sim Lumetra KRCocoa Chromalis Stripecode)
  set_target_properties(twain_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
