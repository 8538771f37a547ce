# The registration of the pelkoweb: scheme for the current user, in one place: PelkoWebHost
# --register writes it (the header made by pelko_write_scheme_header) and the installer
# installs the same values (pelko_scheme_registry_wxs). Below HKEY_CURRENT_USER, all text
# (REG_SZ). Each value is "key below the scheme key|value name|data", an empty name being the
# key's default value; <program> stands for the host's full path. The open command quotes the
# program's path and the URL, so that the URL reaches the program as one argument whatever it
# holds. The open command comes last: it says whose registration this is.
set(PELKO_SCHEME_KEY [[Software\Classes\pelkoweb]])
set(PELKO_SCHEME_VALUES
  [[||URL:PelkoWeb Protocol]]
  [[|URL Protocol|]]
  [[\DefaultIcon||"<program>",0]]
  [[\shell\open\command||"<program>" "%1"]])

# Splits one value of PELKO_SCHEME_VALUES into <prefix>_KEY (below the scheme key), _NAME, _DATA.
function(pelko_scheme_value_fields value prefix)
  string(REPLACE "|" ";" fields "${value}")
  list(LENGTH fields count)
  if(NOT count EQUAL 3)
    message(FATAL_ERROR "PELKO_SCHEME_VALUES: \"${value}\" is not key|name|data")
  endif()
  list(GET fields 0 key)
  list(GET fields 1 name)
  list(GET fields 2 data)
  # Kept out so that each value means the same as C++ raw text, XML and an installer's
  # formatted text ("[...]" and "{...}" are expanded there, a leading "#" makes a number).
  if("${key}${name}${data}" MATCHES "[][{}]|\\)reg\"" OR data MATCHES "^#")
    message(FATAL_ERROR "PELKO_SCHEME_VALUES: \"${value}\" holds a character kept out")
  endif()
  set(${prefix}_KEY "${key}" PARENT_SCOPE)
  set(${prefix}_NAME "${name}" PARENT_SCOPE)
  set(${prefix}_DATA "${data}" PARENT_SCOPE)
endfunction()

# Writes the C++ header host/SchemeValues.h below OUTPUT_DIR.
function(pelko_write_scheme_header output_dir)
  set(rows "")
  foreach(value IN LISTS PELKO_SCHEME_VALUES)
    pelko_scheme_value_fields("${value}" v)
    string(APPEND rows "    {uR\"reg(${v_KEY})reg\", uR\"reg(${v_NAME})reg\", uR\"reg(${v_DATA})reg\"},\n")
  endforeach()
  file(CONFIGURE OUTPUT ${output_dir}/host/SchemeValues.h CONTENT
"#pragma once

// Made by host/SchemeRegistry.cmake, which the installer's registry values come from too.
namespace SchemeValues {

struct Value {
    const char16_t* key;   // below kSchemeKey
    const char16_t* name;  // empty: the key's default value
    const char16_t* data;  // kProgram stands for the program's full path
};

inline constexpr char16_t kSchemeKey[] = uR\"reg(@PELKO_SCHEME_KEY@)reg\";
inline constexpr char16_t kProgram[] = u\"<program>\";
inline constexpr Value kValues[] = {
@rows@};

}  // namespace SchemeValues
" @ONLY)
endfunction()

# Sets OUTPUT_VAR to the installer's RegistryValue elements for the program whose file has the
# id FILE_ID; the open command is the component's key path.
function(pelko_scheme_registry_wxs file_id output_var)
  set(elements "")
  list(GET PELKO_SCHEME_VALUES -1 command)
  foreach(value IN LISTS PELKO_SCHEME_VALUES)
    pelko_scheme_value_fields("${value}" v)
    set(data "${v_DATA}")
    foreach(text data v_NAME)
      string(REPLACE "&" "&amp;" ${text} "${${text}}")
      string(REPLACE "\"" "&quot;" ${text} "${${text}}")
      string(REPLACE "<program>" "[#${file_id}]" ${text} "${${text}}")
      string(REPLACE "<" "&lt;" ${text} "${${text}}")
      string(REPLACE ">" "&gt;" ${text} "${${text}}")
    endforeach()
    set(attributes "Root=\"HKCU\" Key=\"${PELKO_SCHEME_KEY}${v_KEY}\"")
    if(NOT v_NAME STREQUAL "")
      string(APPEND attributes " Name=\"${v_NAME}\"")
    endif()
    string(APPEND attributes " Type=\"string\" Value=\"${data}\"")
    if(value STREQUAL command)
      string(APPEND attributes " KeyPath=\"yes\"")
    endif()
    string(APPEND elements "              <RegistryValue ${attributes} />\n")
  endforeach()
  set(${output_var} "${elements}" PARENT_SCOPE)
endfunction()
