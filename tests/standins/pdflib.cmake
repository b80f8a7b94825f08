# The PDF library through its entry points, on PDFs made by Ghostscript, cairo and qpdf.
tarvik_add_test(test_pdflib
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PdfLibraryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/PdfSamples.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../../standins/pdflib/PdfCompleteness.cpp ${CMAKE_CURRENT_LIST_DIR}/../../standins/pdflib/PdfRangeList.cpp
  LIBS QuickPDFDLL0723
  LABELS threads)
