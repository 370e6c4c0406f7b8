# mingw-w64 trees: bastion_core, the product's code (every WINDOWS and
# PORTABLE file of the product folders) as objects at the shipped size, and
# what the product's executables are made with: the pins, the stamping tool,
# the signing and the progress page.

# spdlog and fmt come from Debian as headers; copy them into the build tree so
# /usr/include itself never lands on a mingw include path.
set(BASTION_THIRDPARTY_INCLUDE ${CMAKE_BINARY_DIR}/thirdparty/include)
foreach(lib spdlog fmt)
  file(COPY /usr/include/${lib} DESTINATION ${BASTION_THIRDPARTY_INCLUDE})
endforeach()

set(BASTION_SYSTEM_LIBS kernel32 user32 advapi32 shell32 ole32 oleaut32 rpcrt4 uuid)

# The shipped size: -Os, link-time optimisation and no RTTI (nothing in the
# product asks a type at run time) for everything that goes into the product,
# on both architectures, so the x86_64 product the tests run
# is built as the i686 one that ships. The product's LTO link runs in one
# partition: with several, mingw-w64 g++ 12 stops with an internal compiler
# error (binds_to_current_def_p). In the x86_64 tree the objects also carry
# ordinary code (fat LTO objects) and the test binaries link that without
# LTO, which keeps their links quick.
set(BASTION_SIZE_OPTIONS -Os -flto -fno-rtti)
set(BASTION_PRODUCT_LTO -flto -flto-partition=one)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  list(APPEND BASTION_SIZE_OPTIONS -ffat-lto-objects)
  string(APPEND CMAKE_EXE_LINKER_FLAGS " -fno-lto")
endif()

# The product folders add their files (bastion_sources). Neither the pinned
# certificates' file (cmake/pins.cmake) nor the process's start-up objects
# (Src/VTDropper/CMakeLists.txt) are part of it.
add_library(bastion_core OBJECT)
target_include_directories(bastion_core PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_include_directories(bastion_core SYSTEM PUBLIC ${BASTION_THIRDPARTY_INCLUDE})
# FMT_STATIC_THOUSANDS_SEPARATOR keeps std::locale out of fmt, and the
# FMT_USE_* switches its floating-point code (nothing logged is a float;
# diagnostics/no_float_format.h refuses one); they must be the same in every
# file that includes fmt.
target_compile_definitions(bastion_core PUBLIC
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
  SPDLOG_HEADER_ONLY SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY
  FMT_STATIC_THOUSANDS_SEPARATOR=1 FMT_USE_FLOAT=0 FMT_USE_DOUBLE=0 FMT_USE_LONG_DOUBLE=0)
target_compile_options(bastion_core PUBLIC -Wall -Wextra -ffunction-sections -fdata-sections)
target_compile_options(bastion_core PRIVATE ${BASTION_SIZE_OPTIONS})
target_link_libraries(bastion_core PUBLIC ${BASTION_SYSTEM_LIBS})

# The test PKI: never in git, made whatever the site's settings, since the
# tests sign and pin with it.
get_filename_component(BASTION_TEST_PKI ${CMAKE_BINARY_DIR}/../pki ABSOLUTE)
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/make_test_pki.sh ${BASTION_TEST_PKI}
                RESULT_VARIABLE pki_result)
if(NOT pki_result EQUAL 0)
  message(FATAL_ERROR "Could not make the test PKI in ${BASTION_TEST_PKI}")
endif()

# The signing settings name the packages' publisher, which the pin sets
# compile in.
include(${CMAKE_CURRENT_LIST_DIR}/stamp_tool.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/signed_stub.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/pins.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/progress_page.cmake)
