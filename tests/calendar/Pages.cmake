# The calendar pages through their windows, offscreen, on real stores.
if(TARGET larkspur_calendar_pages AND TARGET larkspur_test_support)
  add_executable(tst_calendarpages tst_calendarpages.cpp)
  target_link_libraries(tst_calendarpages PRIVATE larkspur_calendar_pages larkspur_test_support Qt6::Test)
  add_test(NAME calendar_tst_calendarpages COMMAND tst_calendarpages)
  set_tests_properties(calendar_tst_calendarpages PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  larkspur_test_on_postgres(calendar_tst_calendarpages tst_calendarpages)
endif()
