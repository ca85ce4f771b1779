# Settings every target of this project shares, applied per target rather than globally.
function(zelvax_target_settings target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(ZELVAX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # Every lambda connection must name its context object.
  target_compile_definitions(${target} PRIVATE QT_NO_CONTEXTLESS_CONNECT QT_NO_KEYWORDS)
endfunction()
