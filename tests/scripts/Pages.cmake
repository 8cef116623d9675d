# The event-script pages through their windows, offscreen, on real stores.
if(TARGET larkspur_scripts_pages AND TARGET larkspur_test_support)
  add_executable(tst_scriptpages tst_scriptpages.cpp)
  target_link_libraries(tst_scriptpages PRIVATE larkspur_scripts_pages larkspur_test_support Qt6::Test)
  target_include_directories(tst_scriptpages PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../calendar)
  add_test(NAME scripts_tst_scriptpages COMMAND tst_scriptpages)
  set_tests_properties(scripts_tst_scriptpages PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  larkspur_test_on_postgres(scripts_tst_scriptpages tst_scriptpages)
endif()
