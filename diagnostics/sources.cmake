bastion_sources(
  WINDOWS trace.cc trace_session.cc log_security.cc log_file.cc log_sink.cc file_log.cc
  PORTABLE log_paths.cc)
