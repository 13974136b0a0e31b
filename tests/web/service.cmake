nelvo_test(service_tests
  ${CMAKE_CURRENT_LIST_DIR}/ServiceRoutes_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServicePlugin_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceTestPage_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServiceUpdate_test.cpp
)
target_link_libraries(service_tests PRIVATE nelvo_scripted_plugin)
target_compile_definitions(service_tests PRIVATE NELVO_PROJECT_VERSION="${PROJECT_VERSION}")
