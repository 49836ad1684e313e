# The TCP reachability probe; Winsock 1.1 is loaded at run time from the system folder.
add_library(tramela_sockets STATIC ${CMAKE_CURRENT_LIST_DIR}/Sockets.cpp)
if(WIN32)
  target_sources(tramela_sockets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SocketsWindows.cpp)
  target_link_libraries(tramela_sockets PUBLIC tramela_rtl)
else()
  # The errno-to-Winsock table is the transport's, so both report the same codes.
  target_sources(tramela_sockets PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SocketsPosix.cpp)
  target_link_libraries(tramela_sockets PUBLIC tramela_rtl tramela_transport)
endif()
