bastion_sources(WINDOWS system_library.cc object_security.cc)
