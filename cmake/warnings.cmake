# Warnings are errors on every compiler pomu builds with.
if(MSVC)
  add_compile_options(/W4 /WX /utf-8 /permissive-)
else()
  add_compile_options(-Wall -Wextra -Werror)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports std::string appends as overlapping memcpy at -O2 (GCC bug 105329).
    add_compile_options(-Wno-restrict)
  endif()
endif()
