# U_WebServer: the listeners and the connection threads.
target_sources(nelvo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_Connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_Daemon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_Threads.cpp
)
