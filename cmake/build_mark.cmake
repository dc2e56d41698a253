# The build mark lets a test tell an installed file of an older build from a new
# one: configure with -DQMX_BUILD_MARK=<mark> to change it. The default is fixed
# in the cache at the first configure and shared by the stand-ins and fixtures.
# Tested as a string: a mark such as "0" or "off" is a mark, not false.
if(NOT DEFINED QMX_BUILD_MARK OR QMX_BUILD_MARK STREQUAL "")
  string(TIMESTAMP qmx_mark_time "%Y%m%d%H%M%S" UTC)
  string(RANDOM LENGTH 6 ALPHABET 0123456789abcdef qmx_mark_random)
  set(QMX_BUILD_MARK "${qmx_mark_time}-${qmx_mark_random}" CACHE STRING
      "Build mark printed and logged by the stand-in programs and fixtures" FORCE)
endif()
if(NOT QMX_BUILD_MARK MATCHES "^[A-Za-z0-9._-]+$")
  message(FATAL_ERROR "QMX_BUILD_MARK may hold only letters, digits, '.', '_' and '-'")
endif()
