# Settings every target of this project shares, applied per target rather than globally.
function(zelvax_target_settings target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(ZELVAX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # For 32-bit ARM, GCC 12 sees a use after free in the deleting destructors it generates
  # for some final classes (a false positive, kept visible as a warning), and notes a change
  # of parameter passing that matters only beside code built with GCC 6 or older.
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
    target_compile_options(${target} PRIVATE -Wno-psabi -Wno-error=use-after-free)
  endif()
  # Every lambda connection must name its context object.
  target_compile_definitions(${target} PRIVATE QT_NO_CONTEXTLESS_CONNECT QT_NO_KEYWORDS)
endfunction()
