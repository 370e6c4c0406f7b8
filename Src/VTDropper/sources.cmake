# main.cc is the product's entry and is not part of the library.
bastion_sources(
  WINDOWS process_globals.cc entry.cc system_support.cc install_procedure.cc
          program_files.cc module_path.cc directory_chain.cc write_bytes.cc package_move.cc
          machine_string_value.cc vpn_configuration.cc installed_agent.cc installation_guard.cc
          installer_launch.cc create_package.cc windows_error_text.cc staging_folder.cc
  PORTABLE command_line.cc path_buffer.cc installer_arguments.cc package_move_outcome.cc long_path.cc)
bastion_sources(WINDOWS download_attempts.cc server_certificate_check.cc PORTABLE download_progress.cc)
bastion_sources(
  WINDOWS module_image.cc publisher_signature.cc window_station.cc console_release.cc
          utf8_to_wide.cc
  PORTABLE byte_search.cc config_blob.cc config_document.cc)
