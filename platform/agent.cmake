# The interface-table agent: the C interface shared by program, agent and test agents, the
# utility library libsnmpapi.so and the extension agent libinetmib1.so. Both libraries land in
# the build directory beside the executable and export nothing but their C entry points.

add_library(sorvane_snmpabi INTERFACE)
target_include_directories(sorvane_snmpabi INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})

# The agent's table logic (pure, fed bytes by the tests) and its small kernel reader.
add_library(sorvane_iftable STATIC
  IfTableSnapshot.cpp IfTableSnapshot.h
  KernelLinks.cpp KernelLinks.h)
target_link_libraries(sorvane_iftable PUBLIC sorvane_snmpabi)
set_target_properties(sorvane_iftable PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON POSITION_INDEPENDENT_CODE ON
  AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

add_library(snmpapi SHARED SnmpApi.c snmpabi.h)
target_link_libraries(snmpapi PRIVATE sorvane_snmpabi)
set_target_properties(snmpapi PROPERTIES C_VISIBILITY_PRESET hidden
  AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

add_library(inetmib1 SHARED InetMib1.cpp AgentStats.h)
target_link_libraries(inetmib1 PRIVATE sorvane_iftable)
set_target_properties(inetmib1 PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
# Keep the symbols of the static libraries it pulls in out of its dynamic symbol table.
target_link_options(inetmib1 PRIVATE "LINKER:--exclude-libs,ALL")
