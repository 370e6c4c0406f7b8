# Host build: the Windows-free logic with AddressSanitizer and UBSan, its
# tests, and the host tools.
set(BASTION_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(bastion_portable STATIC ${BASTION_PORTABLE_SOURCES})
target_include_directories(bastion_portable PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(bastion_portable PUBLIC -Wall -Wextra ${BASTION_SANITIZE})
target_link_options(bastion_portable PUBLIC ${BASTION_SANITIZE})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB native_test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*.cc)
add_executable(bastion_native_tests ${native_test_sources})
target_link_libraries(bastion_native_tests PRIVATE bastion_portable gtest_main gmock)
target_compile_definitions(bastion_native_tests PRIVATE BASTION_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
include(GoogleTest)
gtest_discover_tests(bastion_native_tests PROPERTIES LABELS native)

if(EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
  add_subdirectory(tools)
endif()
include(${PROJECT_SOURCE_DIR}/cmake/diagnostics.cmake)
