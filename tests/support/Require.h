#pragma once

#include <QString>
#include <QTest>

// A test that needs something this machine lacks (a server, root, a program):
// on a developer's machine it is skipped with the reason; where
// TESSALY_REQUIRE_SERVERS=1 (as in CI) it fails, so a green run never hides it.
#define SKIP_OR_FAIL(reason)                                                                                           \
    do {                                                                                                               \
        if (qEnvironmentVariableIntValue("TESSALY_REQUIRE_SERVERS") == 1)                                              \
            QFAIL(qPrintable(QString(reason) + QStringLiteral(" (TESSALY_REQUIRE_SERVERS=1: nothing may skip)")));     \
        QSKIP(qPrintable(QString(reason)));                                                                            \
    } while (false)
