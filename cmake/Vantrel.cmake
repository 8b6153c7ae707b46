# Build helpers shared by every folder.

# vt_driver_component(<target>): a static library whose code goes into libVantrel.so.
# Tests link the static library directly when they need internals.
function(vt_driver_component target)
  set_property(GLOBAL APPEND PROPERTY VT_DRIVER_COMPONENTS ${target})
endfunction()

# The driver library: every component whole, only the KR exports visible.
function(vt_assemble_driver)
  get_property(components GLOBAL PROPERTY VT_DRIVER_COMPONENTS)
  # Written once, so a new configure does not relink the library.
  if(NOT EXISTS ${CMAKE_BINARY_DIR}/vantrel_empty.cpp)
    file(WRITE ${CMAKE_BINARY_DIR}/vantrel_empty.cpp "// the driver's code lives in its components\n")
  endif()
  add_library(Vantrel SHARED ${CMAKE_BINARY_DIR}/vantrel_empty.cpp)
  if(components)
    target_link_libraries(Vantrel PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${components}>")
  endif()
  # The components are archives: --exclude-libs would hide their KR exports too, so a version
  # script keeps the KR functions and nothing else (no template instances of the C++ library).
  target_link_options(Vantrel PRIVATE -Wl,--no-undefined
                      -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/vantrel.map)
  set_property(TARGET Vantrel APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/vantrel.map)
  set_target_properties(Vantrel PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
endfunction()

# vt_test(<name> SOURCES ... LIBS ... [THREADED] [TIMEOUT s])
# One GoogleTest program; every case gets a time-out so nothing in the suite can hang.
# THREADED programs also run under ThreadSanitizer.
function(vt_test name)
  cmake_parse_arguments(T "THREADED" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set(labels unit)
  if(T_THREADED)
    set(labels threaded)
    set_property(GLOBAL APPEND PROPERTY VT_THREADED_TESTS ${name})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 30
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${labels}"
               ENVIRONMENT "VT_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
endfunction()

# The programs the ThreadSanitizer pass builds and runs.
function(vt_threaded_target)
  get_property(tests GLOBAL PROPERTY VT_THREADED_TESTS)
  add_custom_target(threaded_tests)
  if(tests)
    add_dependencies(threaded_tests ${tests})
  endif()
endfunction()
