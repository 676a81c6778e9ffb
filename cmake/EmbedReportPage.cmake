# Makes a C++ header of the report pages' style and script from the one file
# that holds them for the program and the Ansible collection alike
# (ansible/plugins/module_utils/fleet_page.py): the text of each raw string
# `NAME = r"""..."""` becomes a constant.
#
#   cmake -DSOURCE=fleet_page.py -DOUTPUT=report_page.h -P EmbedReportPage.cmake
#
# The header is rewritten only when its text changes.
file(READ "${SOURCE}" page)

function(raw_string_of name out)
  set(opening "${name} = r\"\"\"")
  string(FIND "${page}" "${opening}" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "${SOURCE}: no ${name} = r\"\"\"...\"\"\"")
  endif()
  string(LENGTH "${opening}" skip)
  math(EXPR start "${start} + ${skip}")
  string(SUBSTRING "${page}" ${start} -1 rest)
  string(FIND "${rest}" "\"\"\"" length)
  if(length EQUAL -1)
    message(FATAL_ERROR "${SOURCE}: ${name} does not end")
  endif()
  string(SUBSTRING "${rest}" 0 ${length} text)
  if(text MATCHES "\\)page\"")
    message(FATAL_ERROR "${SOURCE}: ${name} holds the header's string delimiter )page\"")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

raw_string_of(STYLE style)
raw_string_of(SCRIPT script)
file(CONFIGURE OUTPUT "${OUTPUT}" @ONLY CONTENT [=[
#pragma once
// Made by the build from ansible/plugins/module_utils/fleet_page.py; edit that file.
namespace fleet::page {
inline constexpr const char* kStyle = R"page(@style@)page";
inline constexpr const char* kScript = R"page(@script@)page";
} // namespace fleet::page
]=])
