# The private Firebird server of a build tree: its settings live here only. Tests that need it
# say FIXTURES_REQUIRED FirebirdServer and read the settings from the generated TestServer.h.
# Included by tests/firebird/ and, in the Windows build, by tests/bridge/: the server is a Linux
# program either way, started by a bash script.
set(UPDATER_FB_PORT 3051)
# The operator's default password in the window, so that its default fields work out of the box.
set(UPDATER_FB_PASSWORD "mirdelkoza")
set(UPDATER_FB_INSTANCE "${CMAKE_BINARY_DIR}/firebird-server")
# A second user of the server, for attachments that are not the administrator's.
set(UPDATER_FB_OTHER_USER "KORMANT_CLERK")
set(UPDATER_FB_OTHER_PASSWORD "clerk")
# How long a start waits for another build tree's server to give the port up.
set(UPDATER_FB_WAIT_SECONDS 900)

# TestServer.h, for a test program of either tree that links updater_test_server.
configure_file(${CMAKE_CURRENT_LIST_DIR}/TestServer.h.in
               ${CMAKE_BINARY_DIR}/tests/firebird/include/tests/firebird/TestServer.h @ONLY)
add_library(updater_test_server INTERFACE)
target_include_directories(updater_test_server INTERFACE
                           ${CMAKE_BINARY_DIR}/tests/firebird/include)
add_test(NAME firebird_server_start
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/firebird-server.sh start ${UPDATER_FB_INSTANCE}
                 ${UPDATER_FB_PORT} ${UPDATER_FB_PASSWORD} ${UPDATER_FB_WAIT_SECONDS}
                 ${UPDATER_FB_OTHER_USER} ${UPDATER_FB_OTHER_PASSWORD})
set_tests_properties(firebird_server_start PROPERTIES
    FIXTURES_SETUP FirebirdServer TIMEOUT 1000 RESOURCE_LOCK FirebirdPort
    LABELS ${UPDATER_SERVER_LABEL})
add_test(NAME firebird_server_stop
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/firebird-server.sh stop ${UPDATER_FB_INSTANCE})
set_tests_properties(firebird_server_stop PROPERTIES
    FIXTURES_CLEANUP FirebirdServer TIMEOUT 60 RESOURCE_LOCK FirebirdPort
    LABELS ${UPDATER_SERVER_LABEL})

