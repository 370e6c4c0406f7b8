# The product and its tests, cross-built with mingw-w64.

# spdlog and fmt come from Debian as headers; copy them into the build tree so
# /usr/include itself never lands on a mingw include path.
set(BASTION_THIRDPARTY_INCLUDE ${CMAKE_BINARY_DIR}/thirdparty/include)
foreach(lib spdlog fmt)
  file(COPY /usr/include/${lib} DESTINATION ${BASTION_THIRDPARTY_INCLUDE})
endforeach()

set(BASTION_SYSTEM_LIBS kernel32 user32 advapi32 shell32 ole32 oleaut32 rpcrt4 uuid)

add_library(bastion_objects OBJECT ${BASTION_WINDOWS_SOURCES} ${BASTION_PORTABLE_SOURCES})
target_include_directories(bastion_objects PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_include_directories(bastion_objects SYSTEM PUBLIC ${BASTION_THIRDPARTY_INCLUDE})
target_compile_definitions(bastion_objects PUBLIC
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
  SPDLOG_HEADER_ONLY SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY SPDLOG_WCHAR_TO_UTF8_SUPPORT)
target_compile_options(bastion_objects PUBLIC -Wall -Wextra -ffunction-sections -fdata-sections)
target_link_libraries(bastion_objects PUBLIC ${BASTION_SYSTEM_LIBS})

add_executable(BastionSetup Src/VTDropper/main.cc resources/BastionSetup.rc)
target_link_libraries(BastionSetup PRIVATE bastion_objects)
target_link_options(BastionSetup PRIVATE -s -Wl,--gc-sections)

include(cmake/signing.cmake)
bastion_sign(BastionSetup)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  include(cmake/windows_tests.cmake)
  include(cmake/progress_window_tests.cmake)
endif()
include(cmake/page.cmake)
include(cmake/blob.cmake)
