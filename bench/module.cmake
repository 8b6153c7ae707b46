# A duplex colour A4 job at 300 dpi through the Image Capture module to TIFF files beside the
# driver-level job of the same pages to the same files: build/<dir>/bench/module_bench
if(TARGET vt_ica_module AND TARGET vantrel-sim)
  add_executable(module_bench ${CMAKE_CURRENT_LIST_DIR}/module_bench.cpp)
  target_link_libraries(module_bench PRIVATE vt_ica_module vt_scan_pages vantrel-sim
                        benchmark::benchmark Threads::Threads)
  target_compile_definitions(module_bench PRIVATE
    VANTREL_SIM_PATH="$<TARGET_FILE:vantrel-sim>"
    VANTREL_LIBRARY="$<TARGET_FILE:Vantrel>"
    MODULE_RESOURCES="${VT_ICA_BUILD_RESOURCES}")
  add_dependencies(module_bench Vantrel ferrolite_scanner_resources)
  set_target_properties(module_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
