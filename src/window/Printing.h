#pragma once

#include <functional>
#include <memory>

class QPrinter;

// The default printer, or nothing when the system has none.
std::unique_ptr<QPrinter> defaultPrinter();

// Tests print into a PDF file instead; an empty function restores the system's printer.
void setPrinterFactory(std::function<std::unique_ptr<QPrinter>()> factory);
