# Mail: Base64 and MIME composition, the SMTP dialogue against a scripted loopback server, and
# delivery to a real SMTP server (aiosmtpd via tests/support/smtp_sink.py).
tarvik_add_test(mail_compose_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Base64Test.cpp ${CMAKE_CURRENT_LIST_DIR}/MimeCompositionTest.cpp
  LIBS tarvik_mail)
tarvik_add_test(mail_smtp_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SmtpDialogueTest.cpp ${CMAKE_CURRENT_LIST_DIR}/SmtpDeliveryTest.cpp
  LIBS tarvik_mail
  LABELS threads)
