# The image-library wrapper as far as the driver entry needs it.
add_library(vt_lumetra STATIC ${CMAKE_SOURCE_DIR}/drv/jpeg/CLumetra.cpp)
target_include_directories(vt_lumetra PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(vt_lumetra PUBLIC vt_public)
vt_driver_component(vt_lumetra)
