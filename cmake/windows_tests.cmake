# GoogleTest tests of the Windows code, run under wine64 by ctest.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Small Windows programs that tests start as child processes (exit-code
# readers, mutex holders, fake libraries): one per file, built beside the tests.
file(GLOB helper_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/helpers/*.cc)
set(BASTION_TEST_HELPERS "")
foreach(src ${helper_sources})
  get_filename_component(name ${src} NAME_WE)
  if(name MATCHES "_dll$")
    string(REGEX REPLACE "_dll$" "" dll ${name})
    add_library(${name} SHARED ${src})
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${dll} PREFIX "")
  else()
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${BASTION_SYSTEM_LIBS})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
                                           LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  list(APPEND BASTION_TEST_HELPERS ${name})
endforeach()

include(GoogleTest)

# One GoogleTest binary of Windows tests, built beside the helpers and run
# under wine64; PROPERTIES are added to its tests' ctest properties.
function(bastion_wine_tests name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE bastion_objects gtest gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    BASTION_SOURCE_DIR="${PROJECT_SOURCE_DIR}" BASTION_BUILD_DIR="${CMAKE_BINARY_DIR}"
    $<$<BOOL:${BASTION_SITE_SETTINGS}>:BASTION_TESTED_TWIN>)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_dependencies(${name} BastionSetup ${BASTION_TESTED_PRODUCT} ${BASTION_TEST_HELPERS})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()

file(GLOB test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win/*.cc)
bastion_wine_tests(bastion_tests SOURCES ${test_sources} PROPERTIES LABELS wine)
include(cmake/files.cmake)
include(${PROJECT_SOURCE_DIR}/cmake/download_tests.cmake)
include(${PROJECT_SOURCE_DIR}/cmake/e2e.cmake)
