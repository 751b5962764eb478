#pragma once

// The main function of every test program: QTEST_MAIN and QTEST_GUILESS_MAIN,
// ending the program through testplatform::EndTestProgram.

#include "TestPlatform.h"

#include <QtTest>

#define VELTRIN_TEST_MAIN_WITH(TestObject, ...)                                                                        \
    namespace {                                                                                                        \
    int runTests(int argc, char* argv[])                                                                               \
    {                                                                                                                  \
        __VA_ARGS__                                                                                                    \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }                                                                                                                  \
    }                                                                                                                  \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        return testplatform::EndTestProgram(runTests(argc, argv));                                                     \
    }

#define VELTRIN_TEST_MAIN(TestObject) VELTRIN_TEST_MAIN_WITH(TestObject, QTEST_MAIN_SETUP())
#define VELTRIN_TEST_GUILESS_MAIN(TestObject) VELTRIN_TEST_MAIN_WITH(TestObject, QTEST_QAPP_SETUP(QCoreApplication))
