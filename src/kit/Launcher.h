#pragma once

#include <functional>

#include <QString>
#include <QStringList>

// Starts another program on its own; false when it could not be started.
bool startProgram(const QString& program, const QStringList& arguments = {});

// Tests record the starts instead; an empty function restores real starts.
void setLauncher(std::function<bool(const QString&, const QStringList&)> launcher);
