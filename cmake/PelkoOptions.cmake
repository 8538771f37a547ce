# Compile options shared by every target of the project (interface target pelko_options).
option(PELKO_SANITIZE "Build with AddressSanitizer and UBSan (native only)" OFF)

add_library(pelko_options INTERFACE)
target_compile_options(pelko_options INTERFACE -Wall -Wextra -Werror)

if(PELKO_WIN32)
  target_compile_definitions(pelko_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # No MinGW runtime DLL may be needed next to our binaries.
  target_link_options(pelko_options INTERFACE -static -static-libgcc -static-libstdc++)
elseif(PELKO_SANITIZE)
  target_compile_options(pelko_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(pelko_options INTERFACE -fsanitize=address,undefined)
endif()

# zlib: the distribution's MinGW build linked statically, or the host's.
add_library(pelko_zlib INTERFACE)
if(PELKO_WIN32)
  find_library(PELKO_ZLIB_STATIC NAMES libz.a REQUIRED)
  find_path(PELKO_ZLIB_INCLUDE zlib.h REQUIRED)
  target_include_directories(pelko_zlib SYSTEM INTERFACE ${PELKO_ZLIB_INCLUDE})
  target_link_libraries(pelko_zlib INTERFACE ${PELKO_ZLIB_STATIC})
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(pelko_zlib INTERFACE ZLIB::ZLIB)
endif()

# How many packages an update run fetches at once, as browsers open up to six connections to
# one host.
set(PELKO_PARALLEL_DOWNLOADS 6 CACHE STRING "Packages an update run fetches at once (1 to 8)")
if(NOT PELKO_PARALLEL_DOWNLOADS MATCHES "^[1-8]$")
  message(FATAL_ERROR "PELKO_PARALLEL_DOWNLOADS must be a number from 1 to 8, not "
                      "\"${PELKO_PARALLEL_DOWNLOADS}\"")
endif()
target_compile_definitions(pelko_options INTERFACE
  PELKO_PARALLEL_DOWNLOADS=${PELKO_PARALLEL_DOWNLOADS})

# The longest a signed release may be taken: the publisher signs no longer expiry, and the
# component refuses a statement that expires further ahead of its clock (a stolen signing key's
# releases, or a statement signed for good, end within it).
set(PELKO_MAX_RELEASE_DAYS 400 CACHE STRING
    "Days a signed release may be taken at most (--expires-days), 1 to 3650")
if(NOT PELKO_MAX_RELEASE_DAYS MATCHES "^[1-9][0-9]?[0-9]?[0-9]?$" OR PELKO_MAX_RELEASE_DAYS GREATER 3650)
  message(FATAL_ERROR "PELKO_MAX_RELEASE_DAYS must be a number of days from 1 to 3650, not "
                      "\"${PELKO_MAX_RELEASE_DAYS}\"")
endif()
target_compile_definitions(pelko_options INTERFACE
  PELKO_MAX_RELEASE_DAYS=${PELKO_MAX_RELEASE_DAYS})

# The FolderType values whose folders a signed manifest may install into besides the install
# folder (0) and its sub-folders: none unless a build names them.
set(PELKO_ALLOWED_FOLDER_TYPES "" CACHE STRING
    "FolderType values a manifest may install into outside the install folder, apart by \",\"")
string(REPLACE ";" "," allowed_folder_types "${PELKO_ALLOWED_FOLDER_TYPES}")
if(NOT allowed_folder_types MATCHES "^(-?[1-9][0-9]?[0-9]?[0-9]?[0-9]?(,-?[1-9][0-9]?[0-9]?[0-9]?[0-9]?)*)?$")
  message(FATAL_ERROR "PELKO_ALLOWED_FOLDER_TYPES takes FolderType values other than 0 apart by "
                      "\",\", not \"${PELKO_ALLOWED_FOLDER_TYPES}\"")
endif()
target_compile_definitions(pelko_options INTERFACE
  PELKO_ALLOWED_FOLDER_TYPES="${allowed_folder_types}")
