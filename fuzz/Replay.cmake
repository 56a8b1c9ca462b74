# The seed corpus of every fuzz target, replayed under ctest by a plain
# executable: the target's entry point with a main of our own, linked with the
# core library of this build (with the sanitizers when the build has them).
function(tessaly_fuzz_replay target seeds)
  add_executable(replay_${target} ${CMAKE_SOURCE_DIR}/fuzz/${target}.cpp ${CMAKE_SOURCE_DIR}/fuzz/ReplayMain.cpp)
  target_include_directories(replay_${target} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
  target_link_libraries(replay_${target} PRIVATE tessaly_core)
  set_target_properties(replay_${target} PROPERTIES AUTOMOC OFF)
  add_test(NAME test_${target}_seeds COMMAND replay_${target} ${CMAKE_SOURCE_DIR}/fuzz/seeds/${seeds})
  # A build target of the test's name, so the test can be built by that name alone.
  add_custom_target(test_${target}_seeds DEPENDS replay_${target})
  set_tests_properties(test_${target}_seeds PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0"
    TIMEOUT 300)
endfunction()

tessaly_fuzz_replay(fuzz_rtf rtf)
tessaly_fuzz_replay(fuzz_mail_cmessage fuzz_mail_cmessage)
tessaly_fuzz_replay(fuzz_mail_smtp fuzz_mail_smtp)
tessaly_fuzz_replay(fuzz_mail_pop3 fuzz_mail_pop3)
tessaly_fuzz_replay(fuzz_mail_imap fuzz_mail_imap)
tessaly_fuzz_replay(fuzz_mail_mime fuzz_mail_mime)
tessaly_fuzz_replay(fuzz_mail_compose fuzz_mail_compose)
tessaly_fuzz_replay(fuzz_mail_threads fuzz_mail_threads)
tessaly_fuzz_replay(fuzz_vcard fuzz_vcard)
tessaly_fuzz_replay(fuzz_ical fuzz_ical)
tessaly_fuzz_replay(fuzz_invitation fuzz_invitation)
tessaly_fuzz_replay(fuzz_dav fuzz_dav)
tessaly_fuzz_replay(fuzz_autoconfig fuzz_autoconfig)
tessaly_fuzz_replay(fuzz_oauth fuzz_oauth)
