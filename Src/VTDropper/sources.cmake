# main.cc is the product's entry and is not part of the library.
bastion_sources(
  WINDOWS process_globals.cc system_support.cc install_procedure.cc
  PORTABLE command_line.cc)
