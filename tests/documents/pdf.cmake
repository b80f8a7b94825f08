# The document interface, the factory, range lists, split plans, the device context and the PDF
# document on the PDF library of the build.
tarvik_add_test(test_pdf_document
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DocumentInterfaceTest.cpp ${CMAKE_CURRENT_LIST_DIR}/QuickPdfDocTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PdfTestEnvironment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../standins/PdfSamples.cpp
  LIBS tarvik_documents
  LABELS threads)
add_dependencies(test_pdf_document QuickPDFDLL0723)
