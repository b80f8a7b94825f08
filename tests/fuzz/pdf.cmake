# fuzz_pdf_open: the PDF library's open, page look-up and page count on arbitrary bytes.
tarvik_add_fuzzer(fuzz_pdf_open
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PdfOpenFuzz.cpp
  LIBS QuickPDFDLL0723)
