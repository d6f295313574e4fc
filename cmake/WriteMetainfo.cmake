# Writes the AppStream metainfo file from its template, with the programs it provides and one
# <release> per entry of the Debian changelog, newest first as the changelog has them. Run at
# build time by cmake/Packaging.cmake:
#
#   cmake -DTEMPLATE=<.xml.in> -DCHANGELOG=<changelog> -DOUTPUT=<.xml> -DAPPSTREAM_ID=<id>
#         -DPACKAGE_ID=<name> -DBINARIES=<a;b> -P WriteMetainfo.cmake
#
# An entry is "name (version) distribution; urgency=..", its "  * " items (continued on lines
# indented by four spaces) and its " -- Maintainer  Day, DD Mon YYYY hh:mm:ss +zone" line; the
# release date is the day as that line writes it. A changelog this cannot read stops the build.
#
# The changelog is read line by line as plain strings, never as a CMake list: its lines hold
# semicolons ("unstable; urgency=medium") and may hold brackets, which a list would split or join.

foreach(_argument IN ITEMS TEMPLATE CHANGELOG OUTPUT APPSTREAM_ID PACKAGE_ID BINARIES)
    if(NOT DEFINED ${_argument})
        message(FATAL_ERROR "WriteMetainfo.cmake needs -D${_argument}=...")
    endif()
endforeach()

function(xml_text out text)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE ">" "&gt;" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(_releases "")
set(_version "")
set(_items "")
set(_item "")
set(_line_number 0)

# The item being read, if any, joins the release's list.
macro(end_item)
    if(NOT _item STREQUAL "")
        xml_text(_item "${_item}")
        string(APPEND _items "          <li>${_item}</li>\n")
        set(_item "")
    endif()
endmacro()

file(READ "${CHANGELOG}" _text)
while(NOT _text STREQUAL "")
    string(FIND "${_text}" "\n" _end)
    if(_end EQUAL -1)
        set(_line "${_text}")
        set(_text "")
    else()
        string(SUBSTRING "${_text}" 0 ${_end} _line)
        math(EXPR _end "${_end} + 1")
        string(SUBSTRING "${_text}" ${_end} -1 _text)
    endif()
    math(EXPR _line_number "${_line_number} + 1")

    if(_line MATCHES "^${PACKAGE_ID} \\(([^)]+)\\) ")
        if(NOT _version STREQUAL "")
            message(FATAL_ERROR "${CHANGELOG}:${_line_number}: the entry for ${_version} has no \" -- \" line")
        endif()
        set(_version "${CMAKE_MATCH_1}")
    elseif(_version STREQUAL "" AND NOT _line MATCHES "^[ \t]*$")
        message(FATAL_ERROR "${CHANGELOG}:${_line_number}: \"${_line}\" is outside any entry")
    elseif(_line MATCHES "^  \\* (.+)$")
        end_item()
        set(_item "${CMAKE_MATCH_1}")
    elseif(_line MATCHES "^    +(.+)$" AND NOT _item STREQUAL "")
        string(APPEND _item " ${CMAKE_MATCH_1}")
    elseif(_line MATCHES "^ -- .+>  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
        end_item()
        set(_day "${CMAKE_MATCH_1}")
        set(_year "${CMAKE_MATCH_3}")
        list(FIND _months "${CMAKE_MATCH_2}" _month)
        if(_month EQUAL -1 OR _items STREQUAL "")
            message(FATAL_ERROR "${CHANGELOG}:${_line_number}: the entry for ${_version} has no items or no date")
        endif()
        math(EXPR _month "${_month} + 1")
        if(_month LESS 10)
            set(_month "0${_month}")
        endif()
        if(_day MATCHES "^[0-9]$")
            set(_day "0${_day}")
        endif()
        xml_text(_version "${_version}")
        string(APPEND _releases
            "    <release version=\"${_version}\" date=\"${_year}-${_month}-${_day}\">\n"
            "      <description>\n"
            "        <ul>\n"
            "${_items}"
            "        </ul>\n"
            "      </description>\n"
            "    </release>\n")
        set(_version "")
        set(_items "")
    elseif(NOT _line MATCHES "^[ \t]*$")
        message(FATAL_ERROR "${CHANGELOG}:${_line_number}: \"${_line}\" is not an item, its continuation or a \" -- \" line")
    endif()
endwhile()
if(NOT _version STREQUAL "" OR _releases STREQUAL "")
    message(FATAL_ERROR "${CHANGELOG}: the last entry has no \" -- \" line, or there is no entry")
endif()

set(VOLTRANE_APPSTREAM_ID "${APPSTREAM_ID}")
set(VOLTRANE_PACKAGE_ID "${PACKAGE_ID}")
set(VOLTRANE_METAINFO_BINARIES "")
foreach(_binary IN LISTS BINARIES)
    string(APPEND VOLTRANE_METAINFO_BINARIES "    <binary>${_binary}</binary>\n")
endforeach()
string(REGEX REPLACE "\n$" "" VOLTRANE_METAINFO_BINARIES "${VOLTRANE_METAINFO_BINARIES}")
string(REGEX REPLACE "\n$" "" VOLTRANE_METAINFO_RELEASES "${_releases}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
