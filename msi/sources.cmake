bastion_sources(WINDOWS msi_database.cc)
