# One interface target carries the warnings and Qt defines every target of ours uses.
add_library(orvane_options INTERFACE)
target_compile_features(orvane_options INTERFACE cxx_std_23)
target_compile_options(orvane_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Wunused -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
    $<$<BOOL:${ORVANE_WERROR}>:-Werror>)
target_compile_definitions(orvane_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_NO_KEYWORDS
    QT_STRICT_ITERATORS
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_UP_TO=0x060400)

if(ORVANE_SANITIZE)
    target_compile_options(orvane_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(orvane_options INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz preset: clang with libFuzzer's coverage, ASan and UBSan on everything of ours.
# libstdc++ 12 declares std::expected only when __cpp_concepts >= 202002L; clang 16 implements
# what <expected> needs but still reports 201907L, so the value is raised by hand (clang warns
# about redefining a built-in macro, hence the -Wno). Debian 12's default clang (14) cannot
# compile <expected> at all.
if(ORVANE_FUZZ)
    target_compile_options(orvane_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined -D__cpp_concepts=202002L -Wno-macro-redefined)
    target_link_options(orvane_options INTERFACE -fsanitize=address,undefined)
endif()
