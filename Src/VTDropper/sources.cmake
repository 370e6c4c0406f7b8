# main.cc is the product's entry and is not part of the library.
bastion_sources(
  WINDOWS process_globals.cc system_support.cc install_procedure.cc
  PORTABLE command_line.cc)
bastion_sources(WINDOWS download_attempts.cc PORTABLE download_progress.cc)
# The server-certificate check calls the configuration signature check, which
# lives in verification/; until that folder is built, the tests supply it.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/../../verification/sources.cmake)
  bastion_sources(WINDOWS server_certificate_check.cc)
endif()
