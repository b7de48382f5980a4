include(GoogleTest)

# Per-target build settings for our own code: warnings as errors and the selected sanitizers.
# Third-party headers come in as SYSTEM includes through their imported targets, so they are
# not held to our warning level.

function(kestova_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    if(KESTOVA_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=${KESTOVA_SANITIZE}
                               -fno-omit-frame-pointer -fno-sanitize-recover=all)
        target_link_options(${target} PRIVATE -fsanitize=${KESTOVA_SANITIZE})
    endif()
    if(KESTOVA_FUZZ)
        # Coverage feedback for the fuzzers reaches into our libraries too.
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
endfunction()

# A GoogleTest executable registered with CTest, one test per case, with labels and a time-out.
#   kestova_add_test(NAME name SOURCES ... LIBS ... LABELS label [TIMEOUT seconds])
function(kestova_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 60)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    kestova_target_defaults(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # Discovered tests carry one label (ctest -L takes a pattern, so "link-threads" is found by
    # both -L link and -L threads).
    list(LENGTH T_LABELS n_labels)
    if(n_labels GREATER 1)
        message(FATAL_ERROR "${T_NAME}: give one label; join several with '-'")
    endif()
    gtest_discover_tests(${T_NAME}
        DISCOVERY_TIMEOUT 30
        PROPERTIES LABELS ${T_LABELS} TIMEOUT ${T_TIMEOUT})
endfunction()

# A static library of program windows (Qt Widgets, moc) on top of the shell's core.
#   kestova_window_library(NAME name SOURCES ...)
function(kestova_window_library)
    cmake_parse_arguments(W "" "NAME" "SOURCES" ${ARGN})
    add_library(${W_NAME} STATIC ${W_SOURCES})
    kestova_target_defaults(${W_NAME})
    set_target_properties(${W_NAME} PROPERTIES AUTOMOC ON)
    target_include_directories(${W_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${W_NAME} PUBLIC kestova_core)
endfunction()
