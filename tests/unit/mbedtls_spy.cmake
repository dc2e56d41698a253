# The certificate tests run the product's code with its mbedTLS calls
# redirected through the spy of mbedtls_spy.cpp (the linker's --wrap).
set(QMX_MBEDTLS_SPY_WRAPPED
  mbedtls_pk_init mbedtls_pk_setup mbedtls_pk_write_key_pem mbedtls_pk_free
  mbedtls_ctr_drbg_init mbedtls_ctr_drbg_seed mbedtls_ctr_drbg_free
  mbedtls_entropy_init mbedtls_entropy_free mbedtls_rsa_gen_key
  mbedtls_mpi_init mbedtls_mpi_read_string mbedtls_mpi_free
  mbedtls_x509write_crt_init mbedtls_x509write_crt_free
  mbedtls_x509write_crt_set_subject_key mbedtls_x509write_crt_set_issuer_key
  mbedtls_x509write_crt_set_subject_name mbedtls_x509write_crt_set_issuer_name
  mbedtls_x509write_crt_set_version mbedtls_x509write_crt_set_md_alg
  mbedtls_x509write_crt_set_serial mbedtls_x509write_crt_set_validity
  mbedtls_x509write_crt_set_basic_constraints
  mbedtls_x509write_crt_set_subject_key_identifier
  mbedtls_x509write_crt_set_authority_key_identifier
  mbedtls_x509write_crt_set_key_usage mbedtls_x509write_crt_pem)
foreach(spied_test default_certificate_test self_signed_test)
  if(TARGET ${spied_test})
    target_sources(${spied_test} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/mbedtls_spy.cpp)
    foreach(name ${QMX_MBEDTLS_SPY_WRAPPED})
      target_link_options(${spied_test} PRIVATE "LINKER:--wrap=${name}")
    endforeach()
  endif()
endforeach()
