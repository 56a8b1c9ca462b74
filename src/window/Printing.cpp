#include "window/Printing.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace {
std::function<std::unique_ptr<QPrinter>()>& factory()
{
    static std::function<std::unique_ptr<QPrinter>()> f;
    return f;
}
}  // namespace

std::unique_ptr<QPrinter> defaultPrinter()
{
    if (factory())
        return factory()();
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return nullptr;
    return std::make_unique<QPrinter>(info);
}

void setPrinterFactory(std::function<std::unique_ptr<QPrinter>()> f)
{
    factory() = std::move(f);
}
