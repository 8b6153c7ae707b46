# Build helpers shared by every folder.

# vt_driver_component(<target>): a static library whose code goes into libVantrel.so.
# Tests link the static library directly when they need internals.
function(vt_driver_component target)
  set_property(GLOBAL APPEND PROPERTY VT_DRIVER_COMPONENTS ${target})
endfunction()

# The names of include/vantrel/kr_exports.def, in its order; a change to the list configures again.
function(vt_kr_export_names out)
  set(def ${CMAKE_SOURCE_DIR}/include/vantrel/kr_exports.def)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  file(STRINGS ${def} lines REGEX "^VT_KR_EXPORT\\([A-Za-z0-9_]+\\)")
  set(names "")
  foreach(line ${lines})
    string(REGEX REPLACE "^VT_KR_EXPORT\\(([A-Za-z0-9_]+)\\).*" "\\1" name "${line}")
    list(APPEND names ${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# The driver library: every component whole, only the client functions visible.
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
  # script keeps the client functions of the export list and nothing else (no JFIF writer, no
  # template instances of the C++ library).
  vt_kr_export_names(names)
  set(VT_KR_EXPORT_LINES "")
  foreach(name ${names})
    string(APPEND VT_KR_EXPORT_LINES "    ${name};\n")
  endforeach()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/vantrel.map.in ${CMAKE_BINARY_DIR}/vantrel.map @ONLY)
  target_link_options(Vantrel PRIVATE ${VT_NO_UNDEFINED}
                      -Wl,--version-script=${CMAKE_BINARY_DIR}/vantrel.map)
  set_property(TARGET Vantrel APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/vantrel.map)
  set_target_properties(Vantrel PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
endfunction()

# Test sources may be compiled apart from the product: the sanitizer passes build them at -O0
# (the product keeps its optimisation), and a folder's tests are compiled in unity batches.
set(VT_TEST_OPTIMIZE "" CACHE STRING "Optimisation flag for test sources, e.g. -O0; empty: the build type's")
option(VT_TEST_UNITY "Compile the sources of one test in unity batches" OFF)
option(VT_TEST_PROGRAMS "Link the tests of one folder into one program" OFF)
set(VT_TEST_UNITY_BATCH 16 CACHE STRING "Sources per unity batch of a test")
# Time-outs only catch hangs: CI runs more tests at once than it has cores, under sanitizers, and
# scales every case's time-out so a slow case on a crowded machine is not taken for a hang.
set(VT_TEST_TIMEOUT_SCALE 1 CACHE STRING "Factor on every test case's time-out")

# vt_test_code(<target>): how a test's own sources are compiled (tests/ sets VT_TEST_OPTIMIZE
# for everything below it).
function(vt_test_code target)
  if(VT_TEST_UNITY)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${VT_TEST_UNITY_BATCH})
  endif()
endfunction()

# vt_test(<name> SOURCES ... LIBS ... [THREADED] [OWN_PROGRAM] [TIMEOUT s] [ENV NAME=value])
# One GoogleTest program a test; with VT_TEST_PROGRAMS the tests of one folder are linked into one
# program (one for its threaded tests, one per ENV value): <name> is then an object library, so a folder may still give it definitions and
# dependencies; tests that link the simulator's shared library form a program of their own.
# OWN_PROGRAM keeps a test in a program of its own (one that must not share its
# process). Every case gets a time-out so nothing in the suite can hang. THREADED tests also run
# under ThreadSanitizer. ENV sets one more variable for each case.
function(vt_test name)
  cmake_parse_arguments(T "THREADED;OWN_PROGRAM" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  list(LENGTH T_ENV extra)
  if(extra GREATER 1)
    message(FATAL_ERROR "vt_test(${name}): ENV takes one NAME=value")
  endif()
  if(T_OWN_PROGRAM OR NOT VT_TEST_PROGRAMS)
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                          Threads::Threads)
    vt_test_code(${name})
    _vt_test_program(${name} "${T_THREADED}" ${T_TIMEOUT} "${T_ENV}")
    return()
  endif()

  add_library(${name} OBJECT ${T_SOURCES})
  target_link_libraries(${name} PUBLIC ${T_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  vt_test_code(${name})

  file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" program "${folder}")
  # The simulator linked as its shared library and linked in whole cannot share a program: the
  # driver loaded at run time would reach one copy and the test the other.
  if("vantrel-sim" IN_LIST T_LIBS)
    string(APPEND program "_shared_sim")
  endif()
  if(T_THREADED)
    string(APPEND program "_threaded")
  endif()
  string(APPEND program "_tests")
  if(T_ENV)
    string(MAKE_C_IDENTIFIER "${T_ENV}" env_id)
    string(TOLOWER "${env_id}" env_id)
    string(APPEND program "_${env_id}")
  endif()

  get_property(members DIRECTORY PROPERTY VT_PROGRAM_${program})
  if(NOT members)
    set_property(DIRECTORY APPEND PROPERTY VT_PROGRAMS ${program})
    set_property(DIRECTORY PROPERTY VT_PROGRAM_${program}_THREADED "${T_THREADED}")
    set_property(DIRECTORY PROPERTY VT_PROGRAM_${program}_ENV "${T_ENV}")
    set_property(DIRECTORY PROPERTY VT_PROGRAM_${program}_TIMEOUT ${T_TIMEOUT})
  endif()
  set_property(DIRECTORY APPEND PROPERTY VT_PROGRAM_${program} ${name})
  get_property(timeout DIRECTORY PROPERTY VT_PROGRAM_${program}_TIMEOUT)
  if(T_TIMEOUT GREATER timeout)
    set_property(DIRECTORY PROPERTY VT_PROGRAM_${program}_TIMEOUT ${T_TIMEOUT})
  endif()
  get_property(deferred DIRECTORY PROPERTY VT_PROGRAMS_DEFERRED)
  if(NOT deferred)
    set_property(DIRECTORY PROPERTY VT_PROGRAMS_DEFERRED ON)
    cmake_language(DEFER CALL _vt_make_test_programs)
  endif()
endfunction()

# At the end of a folder: one program for each group of its tests.
function(_vt_make_test_programs)
  get_property(programs DIRECTORY PROPERTY VT_PROGRAMS)
  foreach(program ${programs})
    get_property(members DIRECTORY PROPERTY VT_PROGRAM_${program})
    get_property(threaded DIRECTORY PROPERTY VT_PROGRAM_${program}_THREADED)
    get_property(env DIRECTORY PROPERTY VT_PROGRAM_${program}_ENV)
    get_property(timeout DIRECTORY PROPERTY VT_PROGRAM_${program}_TIMEOUT)
    # Written once, so a new configure does not relink the programs.
    set(main_source ${CMAKE_BINARY_DIR}/vt_test_program.cpp)
    if(NOT EXISTS ${main_source})
      file(WRITE ${main_source} "// a test program's cases live in its object libraries\n")
    endif()
    add_executable(${program} ${main_source})
    target_link_libraries(${program} PRIVATE ${members} GTest::gtest GTest::gmock GTest::gtest_main
                                             Threads::Threads)
    # What a member loads at run time (the folder's add_dependencies on it) is built with the
    # program itself: an object library's dependencies do not make the program's.
    foreach(member ${members})
      get_target_property(deps ${member} MANUALLY_ADDED_DEPENDENCIES)
      if(deps)
        add_dependencies(${program} ${deps})
      endif()
    endforeach()
    vt_test_code(${program})
    _vt_test_program(${program} "${threaded}" ${timeout} "${env}")
  endforeach()
endfunction()

function(_vt_test_program program threaded timeout env)
  math(EXPR timeout "${timeout} * ${VT_TEST_TIMEOUT_SCALE}")
  set(labels unit)
  if(threaded)
    set(labels threaded)
    set_property(GLOBAL APPEND PROPERTY VT_THREADED_TESTS ${program})
  endif()
  # The discovered cases' properties cannot carry a list: the one extra variable goes in as an
  # environment modification beside ENVIRONMENT.
  set(modification "")
  if(env)
    string(REGEX REPLACE "^([^=]+)=(.*)$" "ENVIRONMENT_MODIFICATION;\\1=set:\\2" modification "${env}")
  endif()
  gtest_discover_tests(${program}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${timeout} LABELS "${labels}"
               ENVIRONMENT "VT_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp" ${modification})
endfunction()

# The programs the ThreadSanitizer pass builds and runs.
function(vt_threaded_target)
  get_property(tests GLOBAL PROPERTY VT_THREADED_TESTS)
  add_custom_target(threaded_tests)
  if(tests)
    add_dependencies(threaded_tests ${tests})
  endif()
endfunction()

# vt_twain_bundle(<target> NAME <Name> INFO_PLIST <file> RESOURCES <folder>
#                 [RESOURCE_FILES ...] [SOURCES ...] [LIBS ...] [WHOLE ...] [FOLDER <parent>])
# A TWAIN data source as the Linux manager loads it: the module <Name>.ds in the bundle folder
# <parent>/<Name>/ (default parent: <build>/twain) beside a copy of Info.plist and of the resource
# folder as Resources/, with the RESOURCE_FILES (kept elsewhere in the tree) added to it. The module exports DS_Entry and the project's version entry only. WHOLE
# libraries go in whole (their module constructor and entry live there), LIBS as needed.
function(vt_twain_bundle target)
  cmake_parse_arguments(B "" "NAME;INFO_PLIST;RESOURCES;FOLDER" "SOURCES;LIBS;WHOLE;RESOURCE_FILES"
                        ${ARGN})
  if(NOT B_NAME OR NOT B_INFO_PLIST OR NOT B_RESOURCES)
    message(FATAL_ERROR "vt_twain_bundle(${target}): NAME, INFO_PLIST and RESOURCES are needed")
  endif()
  if(NOT B_FOLDER)
    set(B_FOLDER ${CMAKE_BINARY_DIR}/twain)
  endif()
  set(bundle ${B_FOLDER}/${B_NAME})
  # The manager loads every file whose name contains ".ds": the module must be the only one.
  file(GLOB_RECURSE resources CONFIGURE_DEPENDS LIST_DIRECTORIES false ${B_RESOURCES}/*)
  foreach(file ${resources} ${B_RESOURCE_FILES} ${B_INFO_PLIST})
    get_filename_component(base ${file} NAME)
    if(base MATCHES "\\.ds")
      message(FATAL_ERROR "vt_twain_bundle(${target}): ${file} has '.ds' in its name")
    endif()
  endforeach()

  if(NOT B_SOURCES)
    # Written once, so a new configure does not relink the module.
    set(B_SOURCES ${CMAKE_BINARY_DIR}/${target}_empty.cpp)
    if(NOT EXISTS ${B_SOURCES})
      file(WRITE ${B_SOURCES} "// the data source's code lives in its libraries\n")
    endif()
  endif()
  add_library(${target} MODULE ${B_SOURCES})
  target_link_libraries(${target} PRIVATE ${B_LIBS})
  if(B_WHOLE)
    target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${B_WHOLE}>")
  endif()
  set(map ${CMAKE_SOURCE_DIR}/cmake/twain_source.map)
  target_link_options(${target} PRIVATE ${VT_NO_UNDEFINED} -Wl,--version-script=${map})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".ds" OUTPUT_NAME ${B_NAME}
                                             LIBRARY_OUTPUT_DIRECTORY ${bundle})

  # The rest of the bundle, copied again whenever a file of it changes.
  # An empty resource folder is not kept by git: it may be missing.
  set(copy_resources "")
  if(EXISTS ${B_RESOURCES})
    set(copy_resources COMMAND ${CMAKE_COMMAND} -E copy_directory ${B_RESOURCES} ${bundle}/Resources)
  endif()
  if(B_RESOURCE_FILES)
    list(APPEND copy_resources COMMAND ${CMAKE_COMMAND} -E copy ${B_RESOURCE_FILES} ${bundle}/Resources/)
  endif()
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_layout.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${bundle}/Resources
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle}/Resources
    ${copy_resources}
    COMMAND ${CMAKE_COMMAND} -E copy ${B_INFO_PLIST} ${bundle}/Info.plist
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${B_INFO_PLIST} ${resources} ${B_RESOURCE_FILES}
    COMMENT "Laying out the TWAIN bundle ${B_NAME}"
    VERBATIM)
  add_custom_target(${target}_layout DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layout)
endfunction()
