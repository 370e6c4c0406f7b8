# main.cc is the product's entry and is not part of the library.
bastion_sources(
  WINDOWS process_globals.cc system_support.cc install_procedure.cc
  PORTABLE command_line.cc)
bastion_sources(
  WINDOWS module_image.cc publisher_signature.cc window_station.cc console_release.cc
          utf8_to_wide.cc
  PORTABLE byte_search.cc config_blob.cc config_document.cc)
