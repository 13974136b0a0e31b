nelvo_test(http_tests
  ${CMAKE_CURRENT_LIST_DIR}/HttpRoutes_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpExchange_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpBadInput_test.cpp
)
