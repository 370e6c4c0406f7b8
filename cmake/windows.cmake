# The product and its tests, cross-built with mingw-w64.

# spdlog and fmt come from Debian as headers; copy them into the build tree so
# /usr/include itself never lands on a mingw include path.
set(BASTION_THIRDPARTY_INCLUDE ${CMAKE_BINARY_DIR}/thirdparty/include)
foreach(lib spdlog fmt)
  file(COPY /usr/include/${lib} DESTINATION ${BASTION_THIRDPARTY_INCLUDE})
endforeach()

set(BASTION_SYSTEM_LIBS kernel32 user32 advapi32 shell32 ole32 oleaut32 rpcrt4 uuid)

# The shipped size: -Os and link-time optimisation for everything that goes
# into the product, on both architectures, so the x86_64 product the tests run
# is built as the i686 one that ships. The product's LTO link runs in one
# partition: with several, mingw-w64 g++ 12 stops with an internal compiler
# error (binds_to_current_def_p). In the x86_64 tree the objects also carry
# ordinary code (fat LTO objects) and the test binaries link that without
# LTO, which keeps their links quick.
set(BASTION_SIZE_OPTIONS -Os -flto)
set(BASTION_PRODUCT_LTO -flto -flto-partition=one)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  list(APPEND BASTION_SIZE_OPTIONS -ffat-lto-objects)
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -fno-lto")
endif()

# The pinned certificates are compiled into one file, authenticate_signed_blob.cc,
# built once per pin set (cmake/signing.cmake): everything else is bastion_core.
set(BASTION_TRUST_SOURCE ${PROJECT_SOURCE_DIR}/verification/authenticate_signed_blob.cc)
set(BASTION_CORE_SOURCES ${BASTION_WINDOWS_SOURCES} ${BASTION_PORTABLE_SOURCES})
list(REMOVE_ITEM BASTION_CORE_SOURCES ${BASTION_TRUST_SOURCE})

add_library(bastion_core OBJECT ${BASTION_CORE_SOURCES})
target_include_directories(bastion_core PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_include_directories(bastion_core SYSTEM PUBLIC ${BASTION_THIRDPARTY_INCLUDE})
# FMT_STATIC_THOUSANDS_SEPARATOR keeps std::locale out of fmt; it must be the
# same in every file that includes fmt.
target_compile_definitions(bastion_core PUBLIC
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
  SPDLOG_HEADER_ONLY SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY SPDLOG_WCHAR_TO_UTF8_SUPPORT
  FMT_STATIC_THOUSANDS_SEPARATOR=1)
target_compile_options(bastion_core PUBLIC -Wall -Wextra -ffunction-sections -fdata-sections)
target_compile_options(bastion_core PRIVATE ${BASTION_SIZE_OPTIONS})
target_link_libraries(bastion_core PUBLIC ${BASTION_SYSTEM_LIBS})

include(cmake/signing.cmake)

# What the tests link: the product's code with the test PKI's pins.
add_library(bastion_objects INTERFACE)
target_link_libraries(bastion_objects INTERFACE bastion_core)
target_sources(bastion_objects INTERFACE $<TARGET_OBJECTS:bastion_core> $<TARGET_OBJECTS:bastion_trust_test>)

# bastion_product(TARGET TRUST_OBJECTS CERT KEY): an exe of the product with
# the pins of TRUST_OBJECTS, at the shipped size, signed by CERT (none: left
# unsigned) and given the unconfigured region.
function(bastion_product target trust cert key)
  add_executable(${target} ${PROJECT_SOURCE_DIR}/Src/VTDropper/main.cc
                 ${PROJECT_SOURCE_DIR}/resources/BastionSetup.rc)
  target_link_libraries(${target} PRIVATE bastion_core ${trust})
  target_compile_options(${target} PRIVATE ${BASTION_SIZE_OPTIONS})
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections -Os ${BASTION_PRODUCT_LTO})
  if(cert)
    bastion_sign_and_prepare(${target} ${cert} ${key})
  else()
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E echo "$<TARGET_FILE:${target}> is unsigned (BASTION_CODESIGN=off): sign it, then run bastion_stamp prepare SIGNED.exe OUT.exe"
      VERBATIM)
  endif()
endfunction()

bastion_product(BastionSetup bastion_trust_site "${BASTION_SIGN_CERT}" "${BASTION_SIGN_KEY}")
# A site's own build ships its pins and signature; the tests run this twin,
# pinned and signed with the test PKI.
if(BASTION_SITE_SETTINGS)
  bastion_product(bastion_tested_product bastion_trust_test ${BASTION_TEST_PKI}/codesign-chain.pem
                  ${BASTION_TEST_PKI}/codesign.key)
  set_target_properties(bastion_tested_product PROPERTIES OUTPUT_NAME BastionSetup
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/product)
  add_dependencies(bastion_tested_product BastionSetup)
  set(BASTION_TESTED_PRODUCT bastion_tested_product)
else()
  set(BASTION_TESTED_PRODUCT BastionSetup)
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  include(cmake/windows_tests.cmake)
  include(cmake/progress_window_tests.cmake)
endif()
include(cmake/page.cmake)
include(cmake/blob.cmake)
