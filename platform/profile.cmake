# Profile files (INI): plain C++, no Qt.
add_library(sorvane_profile STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ProfileFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProfileFile.h
  ${CMAKE_CURRENT_LIST_DIR}/IniFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IniFile.h)
target_include_directories(sorvane_profile PUBLIC ${CMAKE_CURRENT_LIST_DIR})
set_target_properties(sorvane_profile PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

# With clang, -DSORVANE_FUZZ=ON instruments this library for libFuzzer (see tests/platform).
option(SORVANE_FUZZ "Build the profile reader's libFuzzer target (clang only)" OFF)
if(SORVANE_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  target_compile_options(sorvane_profile PRIVATE -fsanitize=fuzzer-no-link)
  target_link_options(sorvane_profile INTERFACE -fsanitize=fuzzer-no-link)
endif()
