#pragma once

#include <functional>
#include <optional>

#include <QString>

// The common open and save dialogs. Both return the chosen path, or nothing
// when the user cancelled.
struct FileDialogRequest {
    enum Kind { Open, Save } kind;
    QString title;
    QString folder;
    QString filter;  // Qt filter text, e.g. "Notes (*.nte)"
};

std::optional<QString> getOpenFileName(const QString& title, const QString& folder, const QString& filter);
std::optional<QString> getSaveFileName(const QString& title, const QString& folder, const QString& filter);

// Tests answer the dialogs with scripted paths; an empty function restores them.
void setFileDialogHandler(std::function<std::optional<QString>(const FileDialogRequest&)> handler);
