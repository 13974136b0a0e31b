nelvo_test(ssl_tests
  ${CMAKE_CURRENT_LIST_DIR}/InitSSL_TestSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InitSSL_Material_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InitSSL_Connection_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InitSSL_Install_test.cpp
)
