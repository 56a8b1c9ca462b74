#include "window/FileDialogs.h"

#include <QApplication>
#include <QFileDialog>

namespace {
std::function<std::optional<QString>(const FileDialogRequest&)>& handler()
{
    static std::function<std::optional<QString>(const FileDialogRequest&)> h;
    return h;
}

std::optional<QString> ask(const FileDialogRequest& request)
{
    if (handler())
        return handler()(request);
    const QString path =
        request.kind == FileDialogRequest::Open
            ? QFileDialog::getOpenFileName(QApplication::activeWindow(), request.title, request.folder, request.filter)
            : QFileDialog::getSaveFileName(QApplication::activeWindow(), request.title, request.folder, request.filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}
}  // namespace

std::optional<QString> getOpenFileName(const QString& title, const QString& folder, const QString& filter)
{
    return ask({FileDialogRequest::Open, title, folder, filter});
}

std::optional<QString> getSaveFileName(const QString& title, const QString& folder, const QString& filter)
{
    return ask({FileDialogRequest::Save, title, folder, filter});
}

void setFileDialogHandler(std::function<std::optional<QString>(const FileDialogRequest&)> h)
{
    handler() = std::move(h);
}
