# How test code is compiled. Every test program parses the same heavy headers
# (GoogleTest, the standard library and, for the window's tests, Qt Widgets);
# each tree parses them once, into a precompiled header that the test
# programs share. Test code itself is compiled without optimisation: the
# code under test keeps the tree's flags, and optimising assertions cost half
# of the test programs' compile time. Everything that shares a precompiled
# header must be compiled with the same flags, hence one place for them.
#
# Not with clang: it writes the absolute paths of the header's sources into
# the precompiled header, so the one made in another clone differs, and the
# compiler cache, which hashes it into every file that reads it, then serves
# none of the test files. Clang's tree (sanitizers and fuzzers) parses the
# headers in each file instead; a second clone takes all of it from the cache.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(nelq_test_pch_shared OFF)
else()
  set(nelq_test_pch_shared ON)
endif()

set(nelq_test_headers
  <gtest/gtest.h> <algorithm> <array> <atomic> <chrono> <cmath> <cstdint> <cstdio>
  <cstdlib> <cstring> <filesystem> <fstream> <functional> <future> <iterator> <map>
  <memory> <mutex> <optional> <set> <sstream> <stdexcept> <string> <string_view>
  <thread> <vector>)
set(nelq_qt_test_headers ${nelq_test_headers}
  <QApplication> <QComboBox> <QCoreApplication> <QDir> <QElapsedTimer> <QLabel>
  <QLineEdit> <QMessageBox> <QProcess> <QPushButton> <QString> <QTimer> <QWidget>)

function(nelq_test_flags target)
  target_compile_options(${target} PRIVATE -O0)
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  # The helpers every test may use (waiting for conditions, for events).
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
endfunction()

# Every Qt test links the same Qt modules, whose definitions the headers read.
if(NELQ_WITH_QT)
  set(nelq_qt_test_libs Qt6::Widgets Qt6::Multimedia Qt6::Test)
  # Qt Test defines each program's folders for QTEST_MAIN and QFINDTESTDATA,
  # which these tests do not use. As absolute paths that differ between
  # folders and between clones, they would void the shared header and keep
  # a second clone from finding its test files in the compiler cache.
  set_property(TARGET Qt6::Test PROPERTY INTERFACE_COMPILE_DEFINITIONS QT_TESTLIB_LIB)
endif()

# The programs that build the shared headers. They are programs, as the
# tests are, so that the code model (-fPIE) matches; they do nothing.
if(nelq_test_pch_shared)
  set(nelq_pch_source ${PROJECT_BINARY_DIR}/nelq_pch_host.cpp)
  file(CONFIGURE OUTPUT ${nelq_pch_source} CONTENT "int main() { return 0; }\n")
  add_executable(nelq_test_pch ${nelq_pch_source})
  target_link_libraries(nelq_test_pch PRIVATE GTest::gtest)
  nelq_test_flags(nelq_test_pch)
  target_precompile_headers(nelq_test_pch PRIVATE ${nelq_test_headers})
  if(NELQ_WITH_QT)
    add_executable(nelq_qt_test_pch ${nelq_pch_source})
    target_link_libraries(nelq_qt_test_pch PRIVATE GTest::gtest ${nelq_qt_test_libs})
    nelq_test_flags(nelq_qt_test_pch)
    target_precompile_headers(nelq_qt_test_pch PRIVATE ${nelq_qt_test_headers})
  endif()
endif()

# nelq_test_code(TARGET [QT]): TARGET is test code.
function(nelq_test_code target)
  cmake_parse_arguments(T "QT" "" "" ${ARGN})
  nelq_test_flags(${target})
  target_link_libraries(${target} PRIVATE nelq_build_tree)
  if(T_QT)
    target_link_libraries(${target} PRIVATE ${nelq_qt_test_libs})
  endif()
  if(NOT nelq_test_pch_shared)
    return()
  elseif(T_QT)
    target_precompile_headers(${target} REUSE_FROM nelq_qt_test_pch)
  else()
    target_precompile_headers(${target} REUSE_FROM nelq_test_pch)
  endif()
endfunction()
