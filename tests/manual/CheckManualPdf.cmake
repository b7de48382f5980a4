# cmake -DPDF=Kestova_sm31.pdf -DTEXT=Kestova_sm31.txt -DPICTURES=N -DMIN_PAGES=12 -P CheckManualPdf.cmake
# The typeset manual has at least MIN_PAGES pages and carries every one of the N pictures its
# markdown names (an image object each; a picture that failed to load would leave none). Its
# typeset text shows no markdown escape: a backslash before a punctuation mark ("\|") is one the
# typesetter did not resolve.
file(STRINGS ${PDF} pages REGEX "/Type /Page$")
file(STRINGS ${PDF} images REGEX "/Subtype /Image$")
list(LENGTH pages page_count)
list(LENGTH images image_count)
message(STATUS "${PDF}: ${page_count} pages, ${image_count} images")
if(page_count LESS MIN_PAGES)
    message(FATAL_ERROR "the manual has ${page_count} pages, fewer than ${MIN_PAGES}")
endif()
if(image_count LESS PICTURES)
    message(FATAL_ERROR "the manual carries ${image_count} images but names ${PICTURES} pictures")
endif()
file(STRINGS ${TEXT} escaped REGEX "\\\\[]!\"#$%&'()*+,./:;<=>?@[^_`{|}~-]")
if(escaped)
    list(JOIN escaped "\n  " lines)
    message(FATAL_ERROR "the typeset manual prints markdown escapes:\n  ${lines}")
endif()
