add_library(sorvane_instance STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.h
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TerminationSignals.h
  ${CMAKE_CURRENT_LIST_DIR}/TerminationSignals.cpp
)
target_include_directories(sorvane_instance PUBLIC ${CMAKE_CURRENT_LIST_DIR})
