# Deployment values, chosen when the component is built: the two allowed service domains, the
# default update host and the update keys. A Windows build must name them all; none has a
# default, so that a product never ships with example or test values by accident. Only a build
# for the tests and the demo (PELKO_TESTING) may trust the test key of keys/test-only/, whose
# private half anyone can read.
option(PELKO_TESTING "A build for the tests and the demo, which may trust the test key" OFF)
option(PELKO_TRIAL
       "A test build for a trial with the vendor's key, under the full product and expiry rules"
       OFF)
set(PELKO_DOMAIN_1 "" CACHE STRING "First allowed service domain")
set(PELKO_DOMAIN_2 "" CACHE STRING "Second allowed service domain")
set(PELKO_DEFAULT_UPDATE_HOST "" CACHE STRING
    "Default update server host (inside one of the allowed domains)")
set(PELKO_UPDATE_KEYS "" CACHE STRING
    "Public keys the component verifies releases with: one or two lines of pelko-publish keygen")
set(PELKO_UPDATE_KEY_FILES "" CACHE STRING
    "Files holding public keys of pelko-publish keygen, added to PELKO_UPDATE_KEYS")
option(PELKO_ALLOW_UNSIGNED_UPDATES
       "Build a component for the tests that installs unsigned updates (needs PELKO_TESTING)" OFF)
set(PELKO_PRODUCT "" CACHE STRING
    "The product the component's releases are for: the --product of pelko-publish build")
if(PELKO_TESTING)
  set(PELKO_TESTING_VALUE true)
else()
  set(PELKO_TESTING_VALUE false)
endif()
# A build for the tests takes statements without a product or an expiry; a trial's does not.
if(PELKO_TESTING AND NOT PELKO_TRIAL)
  set(PELKO_RELAXED_RELEASE_RULES_VALUE true)
else()
  set(PELKO_RELAXED_RELEASE_RULES_VALUE false)
endif()

set(PELKO_TEST_KEY_FILE ${CMAKE_SOURCE_DIR}/keys/test-only/release-test.pub)

# The keys built into the component (PELKO_BUILT_IN_KEYS, separated by ";"): those given as
# text, then those read from files.
function(pelko_collect_update_keys)
  set(keys ${PELKO_UPDATE_KEYS})
  foreach(file IN LISTS PELKO_UPDATE_KEY_FILES)
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "PELKO_UPDATE_KEY_FILES: there is no file \"${file}\"")
    endif()
    file(STRINGS "${file}" lines)
    list(APPEND keys ${lines})
  endforeach()
  set(checked "")
  foreach(key IN LISTS keys)
    string(STRIP "${key}" key)
    string(LENGTH "${key}" key_length)
    if(NOT key MATCHES "^[0-9a-fA-F]+$" OR NOT key_length EQUAL 128)
      message(FATAL_ERROR "PELKO_UPDATE_KEYS: \"${key}\" is not a public key of pelko-publish keygen")
    endif()
    string(TOLOWER "${key}" key)
    list(APPEND checked ${key})
  endforeach()
  set(PELKO_BUILT_IN_KEYS "${checked}" PARENT_SCOPE)
endfunction()

function(pelko_check_update_keys)
  list(LENGTH PELKO_BUILT_IN_KEYS key_count)
  if(key_count GREATER 2)
    message(FATAL_ERROR "PELKO_UPDATE_KEYS takes one key, or two while a key is being replaced")
  endif()
  if(PELKO_ALLOW_UNSIGNED_UPDATES AND NOT PELKO_TESTING)
    message(FATAL_ERROR
      "PELKO_ALLOW_UNSIGNED_UPDATES=ON makes a component that installs whatever a server sends: "
      "only a build for the tests may be made so (PELKO_TESTING=ON). Give the build your update "
      "keys instead (-DPELKO_UPDATE_KEYS=$(cat release.pub)).")
  endif()
  if(key_count EQUAL 0 AND NOT PELKO_ALLOW_UNSIGNED_UPDATES)
    message(FATAL_ERROR
      "The component verifies its updates, and this build has no update key.\n"
      "Make a key pair with the publisher of the tools preset:\n"
      "  cmake --preset tools && cmake --build --preset tools --target pelko-publish\n"
      "  build/tools/bin/pelko-publish keygen release.pem release.pub\n"
      "keep release.pem secret, and configure with\n"
      "  -DPELKO_UPDATE_KEYS=$(cat release.pub)\n"
      "or, for a build that installs unsigned updates, -DPELKO_ALLOW_UNSIGNED_UPDATES=ON.\n"
      "The tests and the demo use the presets win32-test and win64-test.")
  endif()
  file(STRINGS ${PELKO_TEST_KEY_FILE} test_key LIMIT_COUNT 1)
  string(TOLOWER "${test_key}" test_key)
  if(PELKO_TRIAL AND NOT PELKO_TESTING)
    message(FATAL_ERROR "PELKO_TRIAL=ON is a test build: it needs PELKO_TESTING=ON, as the "
                        "presets win32-trial and win64-trial set.")
  endif()
  # A build for the tests relaxes the product and expiry rules: with a vendor's key it would take
  # that vendor's releases for any product, and ones that never expire.
  set(other_keys ${PELKO_BUILT_IN_KEYS})
  list(REMOVE_ITEM other_keys "${test_key}")
  if(PELKO_TESTING AND NOT PELKO_TRIAL AND other_keys)
    message(FATAL_ERROR
      "PELKO_TESTING=ON takes only the test key of keys/test-only/: a build for the tests takes "
      "releases without a product or an expiry, and must not take yours so. For a trial with your "
      "key use the presets win32-trial or win64-trial (PELKO_TRIAL=ON), which keep the full "
      "product and expiry rules; for a product, configure without PELKO_TESTING.")
  endif()
  if(test_key IN_LIST PELKO_BUILT_IN_KEYS AND NOT PELKO_TESTING)
    message(FATAL_ERROR
      "PELKO_UPDATE_KEYS holds the test key of keys/test-only/: anyone can sign releases with "
      "it, so only a build for the tests and the demo may carry it (PELKO_TESTING=ON, as the "
      "presets win32-test and win64-test set). Make a key pair of your own with the publisher of the "
      "tools preset:\n"
      "  build/tools/bin/pelko-publish keygen release.pem release.pub")
  endif()
endfunction()

# A domain or host is labels of letters, digits and "-" joined by dots, as the server check
# reads a URL's host; the default update host lies in one of the domains.
function(pelko_check_domains)
  set(domain_help
    "Give the two service domains whose servers the component may serve and the default update "
    "host inside one of them, for example\n"
    "  -DPELKO_DOMAIN_1=pelko.example.com -DPELKO_DOMAIN_2=pelko.example.net "
    "-DPELKO_DEFAULT_UPDATE_HOST=update.pelko.example.com\n"
    "The tests and the demo use the presets win32-test and win64-test.")
  set(label "[A-Za-z0-9-]+")
  foreach(name PELKO_DOMAIN_1 PELKO_DOMAIN_2 PELKO_DEFAULT_UPDATE_HOST)
    if("${${name}}" STREQUAL "")
      message(FATAL_ERROR "This build has no ${name}.\n" ${domain_help})
    endif()
    if(NOT "${${name}}" MATCHES "^${label}(\\.${label})*$")
      message(FATAL_ERROR "${name}: \"${${name}}\" is not a host name.\n" ${domain_help})
    endif()
  endforeach()
  # Loopback names serve this machine only: a build for a trial, never one to ship.
  foreach(name PELKO_DOMAIN_1 PELKO_DOMAIN_2 PELKO_DEFAULT_UPDATE_HOST)
    if(NOT PELKO_TESTING AND "${${name}}" MATCHES "^(localhost|127\\.[0-9.]+)$")
      message(WARNING
        "${name} is \"${${name}}\", a loopback name: this component serves the machine it "
        "runs on only, which suits a trial and no customer. For a trial use the presets "
        "win32-trial or win64-trial (they mark the build as a test build, which is never "
        "shipped); for a product give your own domains.")
    endif()
  endforeach()
  foreach(domain "${PELKO_DOMAIN_1}" "${PELKO_DOMAIN_2}")
    string(LENGTH "${domain}" domain_length)
    string(LENGTH "${PELKO_DEFAULT_UPDATE_HOST}" host_length)
    math(EXPR start "${host_length} - ${domain_length} - 1")
    if(PELKO_DEFAULT_UPDATE_HOST STREQUAL domain)
      return()
    endif()
    if(start GREATER_EQUAL 0)
      string(SUBSTRING "${PELKO_DEFAULT_UPDATE_HOST}" ${start} -1 tail)
      if(tail STREQUAL ".${domain}")
        return()
      endif()
    endif()
  endforeach()
  message(FATAL_ERROR
    "PELKO_DEFAULT_UPDATE_HOST: \"${PELKO_DEFAULT_UPDATE_HOST}\" lies in neither allowed domain.\n"
    ${domain_help})
endfunction()

# The product every signed release of this build names: letters, digits, ".", "_", "-".
function(pelko_check_product)
  if(NOT PELKO_PRODUCT MATCHES "^[A-Za-z0-9._-]+$")
    message(FATAL_ERROR
      "PELKO_PRODUCT: \"${PELKO_PRODUCT}\" is not a product name. Name the product your releases "
      "are published for (pelko-publish build --product NAME), for example\n"
      "  -DPELKO_PRODUCT=PelkoDesk\n"
      "1 to 64 letters, digits, \".\", \"_\" or \"-\". The tests and the demo use the presets "
      "win32-test and win64-test.")
  endif()
  string(LENGTH "${PELKO_PRODUCT}" product_length)
  if(product_length GREATER 64)
    message(FATAL_ERROR "PELKO_PRODUCT: \"${PELKO_PRODUCT}\" is longer than 64 characters")
  endif()
endfunction()

pelko_collect_update_keys()
if(PELKO_WIN32)
  pelko_check_update_keys()
  pelko_check_domains()
  pelko_check_product()
endif()
