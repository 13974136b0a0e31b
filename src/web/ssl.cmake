# TLS material and the OpenSSL set-up of the HTTPS listener.
find_package(OpenSSL REQUIRED)
target_sources(nelvo_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL_Accept.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL_Check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL_Files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL_Generate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL_Install.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL_Ossl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL_Status.cpp
  ${CMAKE_CURRENT_LIST_DIR}/U_InitSSL_Store.cpp
)
target_link_libraries(nelvo_core PUBLIC OpenSSL::SSL OpenSSL::Crypto)
