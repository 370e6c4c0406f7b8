# The product's twin that records its trace messages (trace_runner.cc),
# signed with the test PKI and given the unconfigured region as the product is.
add_executable(trace_runner ${PROJECT_SOURCE_DIR}/tests/trace_runner/trace_runner.cc
               ${PROJECT_SOURCE_DIR}/resources/BastionSetup.rc)
target_link_libraries(trace_runner PRIVATE bastion_objects)
target_link_options(trace_runner PRIVATE -Wl,--gc-sections)
set_target_properties(trace_runner PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(trace_runner BastionSetup)
bastion_sign_and_prepare(trace_runner ${BASTION_TEST_PKI}/codesign-chain.pem ${BASTION_TEST_PKI}/codesign.key)
