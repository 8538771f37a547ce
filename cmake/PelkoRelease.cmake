# What a release says about itself: the version the vendor ships, the publisher, whether it is
# a test build, the installer's upgrade family; and what makes its binaries shippable: stripped,
# their debug information in .debug files beside them, the same bytes from the same sources.
set(PELKO_PRODUCT_VERSION ${PROJECT_VERSION} CACHE STRING
    "The version the DLL, the host and the installer carry (major.minor.patch); raise it for each release of the installer")
if(NOT PELKO_PRODUCT_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$"
   OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535)
  message(FATAL_ERROR
    "PELKO_PRODUCT_VERSION: \"${PELKO_PRODUCT_VERSION}\" is not a version major.minor.patch "
    "(major and minor up to 255, patch up to 65535, as Windows Installer compares them)")
endif()
set(PELKO_VERSION_MAJOR ${CMAKE_MATCH_1})
set(PELKO_VERSION_MINOR ${CMAKE_MATCH_2})
set(PELKO_VERSION_PATCH ${CMAKE_MATCH_3})
# The four-part form of the version resources and the installer's file table.
set(PELKO_FILE_VERSION ${PELKO_PRODUCT_VERSION}.0)

set(PELKO_PUBLISHER "Corvane" CACHE STRING
    "The company named in the version resources and in the installed apps")
if(PELKO_PUBLISHER STREQUAL "" OR PELKO_PUBLISHER MATCHES "[\"\\]")
  message(FATAL_ERROR "PELKO_PUBLISHER: give your company's name, without \" or \\")
endif()

# The installer's upgrade family: every version with this code replaces the installed one. A
# test build (PELKO_TESTING) has a family of its own, so that it never replaces a product.
set(PELKO_DEFAULT_UPGRADE_CODE "{D410F4AB-EB10-4B52-B8B3-FF52F44E2488}")
set(PELKO_TEST_UPGRADE_CODE "{6A3C2E51-0D7B-4F0E-9C59-3B1E4D8A7F20}")
set(PELKO_UPGRADE_CODE ${PELKO_DEFAULT_UPGRADE_CODE} CACHE STRING
    "The installer's upgrade code, one GUID {…} for every version of your product")
set(hex "[0-9A-F][0-9A-F][0-9A-F][0-9A-F]")
if(NOT PELKO_UPGRADE_CODE MATCHES "^[{]${hex}${hex}-${hex}-${hex}-${hex}-${hex}${hex}${hex}[}]$")
  message(FATAL_ERROR "PELKO_UPGRADE_CODE: \"${PELKO_UPGRADE_CODE}\" is not a GUID in upper case "
                      "and braces, such as {D410F4AB-EB10-4B52-B8B3-FF52F44E2488}")
endif()
if(PELKO_TESTING)
  if(PELKO_UPGRADE_CODE STREQUAL PELKO_TEST_UPGRADE_CODE)
    message(FATAL_ERROR "PELKO_UPGRADE_CODE: that is the test builds' upgrade code")
  endif()
  set(PELKO_MSI_UPGRADE_CODE ${PELKO_TEST_UPGRADE_CODE})
else()
  set(PELKO_MSI_UPGRADE_CODE ${PELKO_UPGRADE_CODE})
endif()

# What a test build says in its version resources (SpecialBuild), its installer's properties
# and its log: what it trusts that a product must not.
set(PELKO_SPECIAL_BUILD "")
if(PELKO_TESTING)
  file(STRINGS ${PELKO_TEST_KEY_FILE} test_key LIMIT_COUNT 1)
  string(TOLOWER "${test_key}" test_key)
  set(PELKO_SPECIAL_BUILD "Test build, not for shipping:")
  if(test_key IN_LIST PELKO_BUILT_IN_KEYS)
    string(APPEND PELKO_SPECIAL_BUILD " trusts the public test key,")
  endif()
  string(APPEND PELKO_SPECIAL_BUILD
    " serves the domains ${PELKO_DOMAIN_1} and ${PELKO_DOMAIN_2}")
endif()

set(publisher_text "\"${PELKO_PUBLISHER}\"")
set(special_text "\"${PELKO_SPECIAL_BUILD}\"")
if(PELKO_TESTING)
  set(test_build 1)
else()
  set(test_build 0)
endif()
# Rewritten only when a value changes; the resource scripts that include it depend on it by name
# (the resource compiler reports no headers to the build).
set(PELKO_PRODUCT_VERSION_HEADER ${CMAKE_BINARY_DIR}/generated/resources/ProductVersion.h)
file(CONFIGURE OUTPUT ${PELKO_PRODUCT_VERSION_HEADER} CONTENT
"#define PELKO_VERSION_MAJOR @PELKO_VERSION_MAJOR@
#define PELKO_VERSION_MINOR @PELKO_VERSION_MINOR@
#define PELKO_VERSION_PATCH @PELKO_VERSION_PATCH@
#define PELKO_VERSION_TEXT \"@PELKO_PRODUCT_VERSION@\"
#define PELKO_PUBLISHER_TEXT @publisher_text@
#define PELKO_TEST_BUILD @test_build@
#define PELKO_SPECIAL_BUILD_TEXT @special_text@
" @ONLY)

# Reproducible binaries: no folder of this machine in the objects, no link time stamp, and a
# build id the linker derives from the contents (also the name the log gives for the symbols).
# Sources are named relative to the source folder and generated files relative to the build
# folder, whether the compiler is given absolute paths or, through ccache (which rewrites them
# for its shared cache), paths relative to the build folder; the build folder itself (the
# compile's working folder) is "build". Of several maps, the compiler applies the last.
if(PELKO_WIN32)
  file(RELATIVE_PATH source_from_build ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
  string(REGEX REPLACE "/+$" "" source_from_build "${source_from_build}")
  target_compile_options(pelko_options INTERFACE
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
    -ffile-prefix-map=${CMAKE_BINARY_DIR}=build
    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=
    -ffile-prefix-map=${source_from_build}/=)
  target_link_options(pelko_options INTERFACE -Wl,--no-insert-timestamp -Wl,--build-id=sha1)
  find_program(PELKO_OBJCOPY NAMES ${PELKO_MINGW_PREFIX}-objcopy REQUIRED)
endif()

# pelko_ship_binary(target): the target's file is stripped once linked, its debug information
# kept in <file>.debug beside it and named in the file's debug link; so the tests run the very
# file that ships. objcopy stamps a time into what it writes unless SOURCE_DATE_EPOCH names
# one: the link's, none.
function(pelko_ship_binary target)
  if(NOT PELKO_WIN32)
    return()
  endif()
  set(file $<TARGET_FILE:${target}>)
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${PELKO_OBJCOPY})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${objcopy} --only-keep-debug ${file} ${file}.debug
    COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${file}.debug ${file}
    COMMENT "Stripping ${target}, its debug information in $<TARGET_FILE_NAME:${target}>.debug"
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY PELKO_SHIPPED_BINARIES ${target})
endfunction()

# PelkoWebSymbols: the .debug files of every shipped binary in one archive named with the
# version, the platform and, for a test build, TEST; keep it for each release to read a
# crash or a log.
function(pelko_add_symbols_archive)
  if(NOT PELKO_WIN32)
    return()
  endif()
  get_property(targets GLOBAL PROPERTY PELKO_SHIPPED_BINARIES)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(platform win64)
  else()
    set(platform win32)
  endif()
  set(name PelkoWebSymbols-${PELKO_PRODUCT_VERSION}-${platform})
  if(PELKO_TESTING)
    string(APPEND name -TEST)
  endif()
  set(archive ${CMAKE_BINARY_DIR}/${name}.zip)
  set(names "")
  foreach(target IN LISTS targets)
    list(APPEND names $<TARGET_FILE_NAME:${target}>.debug)
  endforeach()
  add_custom_command(OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${archive}.part --format=zip --mtime=2000-01-01 ${names}
    COMMAND ${CMAKE_COMMAND} -E rename ${archive}.part ${archive}
    DEPENDS ${targets}
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
    COMMENT "Collecting the symbols into ${name}.zip"
    VERBATIM)
  add_custom_target(PelkoWebSymbols ALL DEPENDS ${archive})
  set_target_properties(PelkoWebSymbols PROPERTIES PELKO_ARCHIVE ${archive})
endfunction()
