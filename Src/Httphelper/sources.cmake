bastion_sources(
  WINDOWS sha256.cc temporary_file.cc logged_on_user_impersonation.cc proxy_selector.cc http_helper.cc
          tls_versions.cc
  PORTABLE uuid_name.cc proxy_list.cc session_choice.cc content_length.cc)
