# The five event-script pages (Qt widgets) and the fields and checks the add-script
# pages share: the frame comes from larkspur_app, the work from larkspur_scripts_work.
add_library(larkspur_scripts_pages STATIC
  ScriptFields.h ScriptFields.cpp
  frmAddAnEventScriptToOneUsersPersonalFolder.h frmAddAnEventScriptToOneUsersPersonalFolder.cpp
  frmAddEventToAPersonalFolderForAllUsers.h frmAddEventToAPersonalFolderForAllUsers.cpp
  frmDeleteAllScriptsForAllMailboxes.h frmDeleteAllScriptsForAllMailboxes.cpp
  frmDeleteAllScriptsFromOneMailbox.h frmDeleteAllScriptsFromOneMailbox.cpp
  frmDeleteScriptsFromOneFolderForMailbox.h frmDeleteScriptsFromOneFolderForMailbox.cpp)
target_include_directories(larkspur_scripts_pages PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(larkspur_scripts_pages PUBLIC larkspur_app larkspur_scripts_work Qt6::Widgets)
