# mbedTLS and miniz, as scripts/setup-deps.sh installs them: the host build uses
# Debian's libmbedtls-dev, the Windows build the cross-built Debian source
# package; miniz is compiled from its npm package in both builds.
if(DEFINED ENV{QMX_DEPS_DIR})
  set(QMX_DEPS_DIR_DEFAULT $ENV{QMX_DEPS_DIR})
else()
  set(QMX_DEPS_DIR_DEFAULT ${CMAKE_SOURCE_DIR}/.deps)
endif()
set(QMX_DEPS_DIR ${QMX_DEPS_DIR_DEFAULT} CACHE PATH "Where scripts/setup-deps.sh put the dependencies")

set(QMX_MINIZ_DIR ${QMX_DEPS_DIR}/miniz-3.1.0)
if(NOT EXISTS ${QMX_MINIZ_DIR}/miniz.c)
  message(FATAL_ERROR "miniz 3.1.0 not found in ${QMX_MINIZ_DIR}: run scripts/setup-deps.sh")
endif()
add_library(qmx_miniz STATIC ${QMX_MINIZ_DIR}/miniz.c)
# Only the zlib stream functions are used: no archives, no stdio, no clock.
target_compile_definitions(qmx_miniz PUBLIC MINIZ_NO_STDIO MINIZ_NO_ARCHIVE_APIS MINIZ_NO_TIME)
target_include_directories(qmx_miniz SYSTEM PUBLIC ${QMX_MINIZ_DIR})

add_library(qmx_mbedtls INTERFACE)
if(WIN32)
  set(QMX_MBEDTLS_DIR ${QMX_DEPS_DIR}/mbedtls-win)
  if(NOT EXISTS ${QMX_MBEDTLS_DIR}/lib/libmbedcrypto.a)
    message(FATAL_ERROR "mbedTLS for Windows not found in ${QMX_MBEDTLS_DIR}: run scripts/setup-deps.sh")
  endif()
  target_include_directories(qmx_mbedtls SYSTEM INTERFACE ${QMX_MBEDTLS_DIR}/include)
  target_link_libraries(qmx_mbedtls INTERFACE
    ${QMX_MBEDTLS_DIR}/lib/libmbedx509.a ${QMX_MBEDTLS_DIR}/lib/libmbedcrypto.a)
else()
  find_path(QMX_MBEDTLS_INCLUDE mbedtls/x509_crt.h REQUIRED)
  find_library(QMX_MBEDX509 mbedx509 REQUIRED)
  find_library(QMX_MBEDCRYPTO mbedcrypto REQUIRED)
  target_include_directories(qmx_mbedtls SYSTEM INTERFACE ${QMX_MBEDTLS_INCLUDE})
  target_link_libraries(qmx_mbedtls INTERFACE ${QMX_MBEDX509} ${QMX_MBEDCRYPTO})
endif()
