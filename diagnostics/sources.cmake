bastion_sources(WINDOWS trace.cc)
