#pragma once
// main() of the mail benchmarks: an application without windows, message
// boxes written to the log (a failed session is reported, not waited on), the
// benchmarks, then `done` while the application is still there.

#include <functional>

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include "kit/MsgBox.h"

inline int runMailBenchmarks(int argc, char** argv, const std::function<void()>& done = {})
{
    QCoreApplication app(argc, argv);
    setMsgBoxHandler([](const MsgBoxCall& call) {
        qWarning("%s", qPrintable(call.text));
        return MsgResult::OK;
    });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    if (done)
        done();
    return 0;
}
