nelvo_test(server_tests
  ${CMAKE_CURRENT_LIST_DIR}/InitSSL_TestSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Server_test.cpp
)
