# velk_add_test(NAME SOURCES src... [LIBS lib...] [SANDBOX] [DLOPEN|LINKED])
#   Builds one GoogleTest executable and registers it with ctest.
#   SANDBOX runs it inside tools/sandbox (private /etc, /tmp, /var, network),
#   and the executable refuses to start outside it.
#   DLOPEN links nothing of the library in: the test loads libvelkconf.so the
#   way a host does, and finds it through VELK_PLUGIN (the development link
#   libvelkconf.so, the name hosts load).  LINKED links the shared library
#   itself, as a host built against it does.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

# velk_register_test(NAME [SANDBOX] COMMAND cmd...): the ctest entry, with
# the environment every test gets; SANDBOX runs it inside tools/sandbox.
function(velk_register_test name)
  cmake_parse_arguments(T "SANDBOX" "" "COMMAND" ${ARGN})
  if(T_SANDBOX)
    list(PREPEND T_COMMAND ${PROJECT_SOURCE_DIR}/tools/sandbox)
  endif()
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "VELK_PLUGIN=$<TARGET_LINKER_FILE:velkconf>;VELK_SOURCE_DIR=${PROJECT_SOURCE_DIR};VELK_BINARY_DIR=${PROJECT_BINARY_DIR};VELKHOST=$<TARGET_FILE:velkhost>"
    TIMEOUT 600)
endfunction()

function(velk_add_test name)
  cmake_parse_arguments(T "SANDBOX;DLOPEN;LINKED" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/include)
  if(T_DLOPEN)
    target_link_libraries(${name} PRIVATE velk_plugin_loader GTest::gtest GTest::gtest_main XercesC::XercesC ${T_LIBS})
    add_dependencies(${name} velkconf)
  elseif(T_LINKED)
    target_link_libraries(${name} PRIVATE velkconf GTest::gtest GTest::gtest_main XercesC::XercesC ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE velkconf_objects GTest::gtest GTest::gtest_main ${T_LIBS})
  endif()
  set(sandbox)
  if(T_SANDBOX)
    target_link_libraries(${name} PRIVATE velk_sandbox_guard)
    set(sandbox SANDBOX)
  endif()
  velk_register_test(${name} ${sandbox} COMMAND $<TARGET_FILE:${name}>)
endfunction()

# velk_add_script_test(NAME SCRIPT [SANDBOX]): a shell test, given the same
# environment as the test executables.
function(velk_add_script_test name script)
  cmake_parse_arguments(T "SANDBOX" "" "" ${ARGN})
  set(sandbox)
  if(T_SANDBOX)
    set(sandbox SANDBOX)
  endif()
  velk_register_test(${name} ${sandbox} COMMAND bash ${script})
endfunction()
