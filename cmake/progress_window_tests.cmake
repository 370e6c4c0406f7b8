# Tests of the progress window. Those that make windows need an X display, so
# they form a binary of their own, labelled "display" (run under xvfb-run).
foreach(helper web_window_probe on_button_probe)
  target_link_libraries(${helper} PRIVATE bastion_objects)
endforeach()

file(GLOB display_test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/display/*.cc)
add_executable(bastion_display_tests ${display_test_sources}
               ${PROJECT_SOURCE_DIR}/tests/win/test_main.cc
               ${PROJECT_SOURCE_DIR}/tests/win/process_runner.cc)
target_link_libraries(bastion_display_tests PRIVATE bastion_objects gtest gmock)
target_include_directories(bastion_display_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(bastion_display_tests PRIVATE
  BASTION_SOURCE_DIR="${PROJECT_SOURCE_DIR}" BASTION_BUILD_DIR="${CMAKE_BINARY_DIR}")
set_target_properties(bastion_display_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(bastion_display_tests BastionSetup ${BASTION_TEST_HELPERS})
gtest_discover_tests(bastion_display_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS display TIMEOUT 300)
