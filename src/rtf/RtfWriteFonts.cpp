#include "rtf/RtfWriterCore.h"

namespace Rtf {

// Other programs choose a substitute for a face they lack by its family
// class, so it must say what the face looks like: told here by the name,
// as the machine that reads the file may have other faces than ours.
FontClass fontClass(const QString& face)
{
    struct Rule {
        const char* family;
        std::initializer_list<const char*> words;
    };
    static const Rule rules[] = {
        {"ftech", {"Symbol", "Wingdings", "Webdings", "Marlett"}},
        {"fmodern", {"Mono", "Courier", "Consol", "Console", "Fixed", "Terminal", "Typewriter", "Cousine"}},
        {"fscript", {"Script", "Comic", "Brush", "Chancery", "Handwriting", "Segoe Print"}},
        {"fdecor", {"Old English", "Decorative", "Broadway", "Jokerman", "Impact"}},
        {"fswiss",
         {"Sans", "Arial", "Helvetica", "Verdana", "Tahoma", "Calibri", "Segoe", "Trebuchet", "Franklin", "Gill",
          "Futura", "Geneva", "Carlito", "Arimo", "Shell Dlg", "Lucida Grande"}},
        {"froman",
         {"Serif", "Times", "Roman", "Georgia", "Garamond", "Cambria", "Palatino", "Century", "Bodoni", "Baskerville",
          "Book", "Tinos", "Caladea", "Cochin", "Didot"}},
    };
    // A face made for one character set says so at the end of its name.
    static const std::pair<const char*, int> sets[] = {{" CYR", 204},     {" CE", 238},     {" Greek", 161},
                                                       {" Tur", 162},     {" Baltic", 186}, {" (Hebrew)", 177},
                                                       {" (Arabic)", 178}};
    for (const Rule& rule : rules) {
        for (const char* word : rule.words) {
            if (!face.contains(QLatin1String(word), Qt::CaseInsensitive))
                continue;
            if (rule.family == std::string_view("ftech"))
                return {rule.family, 2};
            for (const auto& [suffix, charset] : sets)
                if (face.endsWith(QLatin1String(suffix)))
                    return {rule.family, charset};
            return {rule.family, 0};
        }
    }
    for (const auto& [suffix, charset] : sets)
        if (face.endsWith(QLatin1String(suffix)))
            return {"fnil", charset};
    return {"fnil", 0};
}

}  // namespace Rtf
