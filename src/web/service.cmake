# The service routes, the web service's host seam and the program resources they serve.
include(NelvoResources)
target_sources(nelvo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_Host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_WebServer_Service.cpp
)
nelvo_resource(nelvo_core TEST_CADES_COM ${PROJECT_SOURCE_DIR}/resources/test_cades_com.html)
