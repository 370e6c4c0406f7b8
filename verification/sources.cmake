bastion_sources(
  WINDOWS verify_code_signature.cc authenticate_signed_blob.cc publisher_match.cc
  PORTABLE der.cc pe_certificate_table.cc)
