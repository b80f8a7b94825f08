# The parsers of the service's inputs: control files, INI files, SMTP replies, page range lists,
# inotify buffers and UTF-8 text.
tarvik_add_fuzzer(fuzz_control_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/ControlFileFuzz.cpp LIBS tarvik_engine)
tarvik_add_fuzzer(fuzz_profile SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProfileFuzz.cpp LIBS tarvik_platform)
tarvik_add_fuzzer(fuzz_smtp_reply SOURCES ${CMAKE_CURRENT_LIST_DIR}/SmtpReplyFuzz.cpp LIBS tarvik_mail)
tarvik_add_fuzzer(fuzz_range_list SOURCES ${CMAKE_CURRENT_LIST_DIR}/RangeListFuzz.cpp LIBS tarvik_documents)
tarvik_add_fuzzer(fuzz_inotify SOURCES ${CMAKE_CURRENT_LIST_DIR}/InotifyFuzz.cpp LIBS tarvik_platform)
tarvik_add_fuzzer(fuzz_utf8 SOURCES ${CMAKE_CURRENT_LIST_DIR}/Utf8Fuzz.cpp LIBS tarvik_util tarvik_platform)
