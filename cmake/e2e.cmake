# End-to-end tests: the stamped product under Wine against the HTTPS test
# server, real signed packages and msiexec, in a Wine prefix of their own
# (installs there disturb no other test). They start their own server on
# port 443, hence the lock.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(BASTION_E2E_DIR ${CMAKE_BINARY_DIR}/e2e)
add_test(NAME EndToEnd
         COMMAND ${CMAKE_COMMAND} -E env --unset=http_proxy --unset=https_proxy --unset=DISPLAY
                 BASTION_SOURCE_DIR=${PROJECT_SOURCE_DIR} BASTION_BUILD_DIR=${CMAKE_BINARY_DIR}
                 BASTION_E2E_DIR=${BASTION_E2E_DIR} BASTION_E2E_PRODUCT=$<TARGET_FILE:${BASTION_TESTED_PRODUCT}>
                 timeout 1500 ${Python3_EXECUTABLE} -m unittest -v test_installation test_trace_sequence
                         test_publisher_fallback
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/tests/e2e)
set_tests_properties(EndToEnd PROPERTIES LABELS wine RESOURCE_LOCK port443 TIMEOUT 1600)
# The same fixture with the window on a display (run under xvfb-run).
add_test(NAME EndToEndDisplay
         COMMAND ${CMAKE_COMMAND} -E env --unset=http_proxy --unset=https_proxy
                 BASTION_SOURCE_DIR=${PROJECT_SOURCE_DIR} BASTION_BUILD_DIR=${CMAKE_BINARY_DIR}
                 BASTION_E2E_DIR=${BASTION_E2E_DIR}
                 timeout 600 ${Python3_EXECUTABLE} -m unittest -v test_unattended_display
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/tests/e2e)
set_tests_properties(EndToEndDisplay PROPERTIES LABELS display RESOURCE_LOCK port443 TIMEOUT 700)
include(${PROJECT_SOURCE_DIR}/tests/trace_runner/trace_runner.cmake)
add_custom_target(bastion_e2e_inputs DEPENDS BastionSetup ${BASTION_TESTED_PRODUCT} trace_runner bxag exit_code_runner
                                             installer_stand_in package_attacker trust_root_cert
                                             wintrust_stand_in_dll)
add_dependencies(bastion_tests bastion_e2e_inputs)
