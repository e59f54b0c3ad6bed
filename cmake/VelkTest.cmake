# velk_add_test(NAME SOURCES src... [LIBS lib...] [SANDBOX] [DLOPEN])
#   Builds one GoogleTest executable and registers it with ctest.
#   SANDBOX runs it inside tools/sandbox (private /etc, /tmp, /var, network),
#   and the executable refuses to start outside it.
#   DLOPEN links nothing of the library in: the test loads libvelkconf.so the
#   way a host does, and finds it through VELK_PLUGIN.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

function(velk_add_test name)
  cmake_parse_arguments(T "SANDBOX;DLOPEN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/include)
  if(T_DLOPEN)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tools/velkhost/plugin_loader.cpp)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tools/velkhost)
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main XercesC::XercesC ${CMAKE_DL_LIBS} ${T_LIBS})
    add_dependencies(${name} velkconf)
  else()
    target_link_libraries(${name} PRIVATE velkconf_objects GTest::gtest GTest::gtest_main ${T_LIBS})
  endif()
  if(T_SANDBOX)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/sandbox_guard.cpp)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tools/sandbox $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "VELK_PLUGIN=$<TARGET_FILE:velkconf>;VELK_SOURCE_DIR=${PROJECT_SOURCE_DIR};VELK_BINARY_DIR=${PROJECT_BINARY_DIR};VELKHOST=$<TARGET_FILE:velkhost>"
    TIMEOUT 600)
endfunction()

# velk_add_script_test(NAME SCRIPT [SANDBOX]): a shell test, given the same
# environment as the test executables.
function(velk_add_script_test name script)
  cmake_parse_arguments(T "SANDBOX" "" "" ${ARGN})
  if(T_SANDBOX)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tools/sandbox bash ${script})
  else()
    add_test(NAME ${name} COMMAND bash ${script})
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "VELK_PLUGIN=$<TARGET_FILE:velkconf>;VELK_SOURCE_DIR=${PROJECT_SOURCE_DIR};VELK_BINARY_DIR=${PROJECT_BINARY_DIR};VELKHOST=$<TARGET_FILE:velkhost>"
    TIMEOUT 600)
endfunction()
