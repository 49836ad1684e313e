# The publisher keys the installer trusts for its package, fixed at configure
# time: each PEM public key named in TRAMELA_PACKAGE_KEYS becomes one entry of a
# generated key table (key-id = first 8 bytes of SHA-256 of its DER
# SubjectPublicKeyInfo, point = X || Y). Without a named key, a development
# pair under <source>/build/keys is made once and shared by every preset.
# There is no setting that builds without a key.

set(TRAMELA_PACKAGE_KEYS "" CACHE STRING
  "PEM public keys (P-256) the installer trusts for its package, as a ;-list; empty = the development key")
# The least package-version the installer accepts: raised with every release
# that must no longer run older signed packages.
set(TRAMELA_MIN_PACKAGE_VERSION 1 CACHE STRING
  "Least package-version (1 to 2147483647) of a package the installer accepts")
string(LENGTH "${TRAMELA_MIN_PACKAGE_VERSION}" tramela_version_length)
if(NOT TRAMELA_MIN_PACKAGE_VERSION MATCHES "^[1-9][0-9]*$" OR tramela_version_length GREATER 10
   OR TRAMELA_MIN_PACKAGE_VERSION GREATER 2147483647)
  message(FATAL_ERROR "TRAMELA_MIN_PACKAGE_VERSION must be a decimal number from 1 to 2147483647 "
    "without sign or leading zero, got '${TRAMELA_MIN_PACKAGE_VERSION}'")
endif()
message(STATUS "Least accepted package-version: ${TRAMELA_MIN_PACKAGE_VERSION}")

find_program(TRAMELA_OPENSSL openssl)
if(NOT TRAMELA_OPENSSL)
  message(FATAL_ERROR "The package keys need the openssl tool on the build host (scripts/deps.sh installs it)")
endif()

# tramela_make_development_key(PUBLIC_VAR): makes the pair once; a lock keeps
# presets configured at the same time from making two.
function(tramela_make_development_key public_var)
  set(dir ${PROJECT_SOURCE_DIR}/build/keys)
  set(private ${dir}/package-key.pem)
  set(public ${dir}/package-key.pub.pem)
  file(MAKE_DIRECTORY ${dir})
  file(LOCK ${dir}/.lock GUARD FUNCTION TIMEOUT 120)
  if(NOT EXISTS ${private})
    execute_process(
      COMMAND ${TRAMELA_OPENSSL} genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ${private}.tmp
      RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "Cannot make the development package key: ${error}")
    endif()
    file(CHMOD ${private}.tmp PERMISSIONS OWNER_READ OWNER_WRITE)
    file(RENAME ${private}.tmp ${private})
    file(REMOVE ${public})
  endif()
  if(NOT EXISTS ${public})
    execute_process(COMMAND ${TRAMELA_OPENSSL} pkey -in ${private} -pubout -out ${public}
      RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "Cannot write the development public key ${public}: ${error}")
    endif()
  endif()
  set(${public_var} ${public} PARENT_SCOPE)
endfunction()

# DER SubjectPublicKeyInfo of a P-256 key with a named curve and an
# uncompressed point: this fixed prefix, then 04, X and Y.
set(tramela_p256_spki_prefix "3059301306072a8648ce3d020106082a8648ce3d030107034200")

# tramela_read_package_key(PEM INDEX ENTRY_VAR ID_VAR): one table entry as C++ text.
function(tramela_read_package_key pem index entry_var id_var)
  if(NOT EXISTS ${pem})
    message(FATAL_ERROR "TRAMELA_PACKAGE_KEYS: no key file at ${pem}")
  endif()
  set(der ${CMAKE_BINARY_DIR}/generated/trust/package-key-${index}.der)
  # Normalised to the named curve and the uncompressed point, the one encoding
  # sign-package hashes for the key-id.
  execute_process(
    COMMAND ${TRAMELA_OPENSSL} ec -pubin -in ${pem} -pubout -outform DER -out ${der}
            -param_enc named_curve -conv_form uncompressed
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "TRAMELA_PACKAGE_KEYS: ${pem} is not a PEM EC public key: ${error}")
  endif()
  file(READ ${der} hex HEX)
  string(LENGTH "${hex}" length)
  string(SUBSTRING "${hex}" 0 52 prefix)
  if(NOT length EQUAL 182 OR NOT prefix STREQUAL tramela_p256_spki_prefix)
    message(FATAL_ERROR "TRAMELA_PACKAGE_KEYS: ${pem} is not a P-256 public key")
  endif()
  string(SUBSTRING "${hex}" 52 2 form)
  if(NOT form STREQUAL "04")
    message(FATAL_ERROR "TRAMELA_PACKAGE_KEYS: ${pem} does not hold an uncompressed P-256 point")
  endif()
  string(SUBSTRING "${hex}" 54 128 point)
  file(SHA256 ${der} digest)
  string(SUBSTRING "${digest}" 0 16 id)
  string(REGEX REPLACE "(..)" "0x\\1," id_bytes "${id}")
  string(REGEX REPLACE "(..)" "0x\\1," point_bytes "${point}")
  set(${entry_var} "    {{${id_bytes}},\n     {${point_bytes}}},  // ${pem}\n" PARENT_SCOPE)
  set(${id_var} ${id} PARENT_SCOPE)
endfunction()

# A release names its publisher keys, and none of them may be the development
# key: its private half lies in every build tree, so whoever has one could
# sign a package the release runs as administrator.
option(TRAMELA_RELEASE "Release build: TRAMELA_PACKAGE_KEYS required, the development key refused" OFF)
if(TRAMELA_RELEASE AND NOT TRAMELA_PACKAGE_KEYS)
  message(FATAL_ERROR "A release build needs the publisher's public keys: "
    "cmake --preset release -DTRAMELA_PACKAGE_KEYS=/path/to/package-key.pub.pem")
endif()

set(tramela_package_key_files ${TRAMELA_PACKAGE_KEYS})
if(NOT tramela_package_key_files)
  tramela_make_development_key(tramela_package_key_files)
  message(STATUS "Package keys: no TRAMELA_PACKAGE_KEYS named; this build trusts only the DEVELOPMENT key "
    "${tramela_package_key_files} (its private half: ${PROJECT_SOURCE_DIR}/build/keys/package-key.pem)")
endif()

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated/trust)
set(tramela_key_entries "")
set(tramela_key_ids "")
set(tramela_key_paths "")
set(tramela_development_private ${PROJECT_SOURCE_DIR}/build/keys/package-key.pem)
set(tramela_development_der "")
if(TRAMELA_RELEASE AND EXISTS ${tramela_development_private})
  # The public half derived from the private key itself, whatever files lie beside it.
  set(development_public ${CMAKE_BINARY_DIR}/generated/trust/development-key.pub.pem)
  execute_process(COMMAND ${TRAMELA_OPENSSL} pkey -in ${tramela_development_private} -pubout -out ${development_public}
    RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Cannot read the development key ${tramela_development_private} to refuse it: ${error}")
  endif()
  tramela_read_package_key(${development_public} development entry id)
  set(tramela_development_der ${CMAKE_BINARY_DIR}/generated/trust/package-key-development.der)
  file(SHA256 ${tramela_development_der} tramela_development_digest)
endif()
set(index 0)
foreach(pem ${tramela_package_key_files})
  get_filename_component(pem ${pem} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
  tramela_read_package_key(${pem} ${index} entry id)
  if(tramela_development_der)
    # Both in the one normalised encoding, so the same key compares equal however its file spells it.
    file(SHA256 ${CMAKE_BINARY_DIR}/generated/trust/package-key-${index}.der digest)
    if(digest STREQUAL tramela_development_digest)
      message(FATAL_ERROR "TRAMELA_PACKAGE_KEYS: ${pem} is the development key, whose private half is "
        "${tramela_development_private}; a release cannot trust it")
    endif()
  endif()
  if(id IN_LIST tramela_key_ids)
    message(FATAL_ERROR "TRAMELA_PACKAGE_KEYS: ${pem} names a key already in the list (key-id ${id})")
  endif()
  list(APPEND tramela_key_ids ${id})
  list(APPEND tramela_key_paths ${pem})
  string(APPEND tramela_key_entries "${entry}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${pem})
  message(STATUS "Package key ${id}: ${pem}")
  math(EXPR index "${index} + 1")
endforeach()

# The tests compare the generated table with openssl's reading of these files.
set_property(GLOBAL PROPERTY TRAMELA_PACKAGE_KEY_FILES ${tramela_key_paths})
configure_file(${CMAKE_CURRENT_LIST_DIR}/PackageKeys.cpp.in
  ${CMAKE_BINARY_DIR}/generated/trust/PackageKeys.cpp @ONLY)
