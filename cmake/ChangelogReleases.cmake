# The project's version and its release notes have one home, package/changelog, in Debian's
# format: the newest entry's version is the project's, the Debian package ships the file, and
# the AppStream <releases> are written from it, so that none of them can disagree.

# The newest entry's version, before project() needs it.
function(zelvax_changelog_version changelog out)
  file(STRINGS ${changelog} newest REGEX "^zelvax \\(" LIMIT_COUNT 1)
  if(NOT newest MATCHES "^zelvax \\(([0-9]+\\.[0-9]+(\\.[0-9]+)?)\\) ")
    message(FATAL_ERROR "${changelog}: its first line names no version: ${newest}")
  endif()
  set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()

# Every entry as an AppStream <release>, newest first, with its items as a list.
function(zelvax_changelog_releases changelog out)
  # A semicolon would split CMake's lists: it stands in for itself until the end.
  file(READ ${changelog} text)
  string(REPLACE ";" "@SEMICOLON@" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  set(xml "")
  set(items "")
  set(item "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^zelvax \\(([^)]+)\\)")
      set(version ${CMAKE_MATCH_1})
    elseif(line MATCHES "^  \\* (.*)")
      zelvax_flush_item()
      set(item "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^    (.*)")
      string(APPEND item " ${CMAKE_MATCH_1}")
    elseif(line MATCHES "^ -- .*  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9]+) ")
      set(day ${CMAKE_MATCH_1})
      set(year ${CMAKE_MATCH_3})
      list(FIND months ${CMAKE_MATCH_2} month)
      math(EXPR month "${month} + 101")
      string(SUBSTRING ${month} 1 2 month)
      zelvax_flush_item()
      string(APPEND xml "    <release version=\"${version}\" date=\"${year}-${month}-${day}\">\n"
        "      <description>\n        <ul>\n${items}        </ul>\n      </description>\n"
        "    </release>\n")
      set(items "")
    endif()
  endforeach()
  string(REPLACE "@SEMICOLON@" ";" xml "${xml}")
  set(${out} "${xml}" PARENT_SCOPE)
endfunction()

# The item being read, escaped for XML, onto the entry's items.
macro(zelvax_flush_item)
  if(NOT item STREQUAL "")
    string(REPLACE "&" "&amp;" item "${item}")
    string(REPLACE "<" "&lt;" item "${item}")
    string(REPLACE ">" "&gt;" item "${item}")
    string(APPEND items "          <li>${item}</li>\n")
    set(item "")
  endif()
endmacro()
