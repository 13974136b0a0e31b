# U_WebServer: the HTTP exchange and the route registry.
target_sources(nelvo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_Routes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_HttpHeaders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_HttpErrorBody.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_HttpRead.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_Http.cpp
)
