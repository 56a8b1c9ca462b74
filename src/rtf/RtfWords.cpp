#include "rtf/RtfParser.h"

#include <QTextListFormat>

namespace Rtf {

const std::unordered_map<std::string_view, WordInfo>& wordTable()
{
    static const std::unordered_map<std::string_view, WordInfo> table = [] {
        std::unordered_map<std::string_view, WordInfo> t;
        auto add = [&t](std::string_view w, Op op, char16_t ch = 0) { t.emplace(w, WordInfo{op, ch}); };
        add("rtf", Op::Rtf);
        add("ansi", Op::Ansi);
        add("mac", Op::Mac);
        add("pc", Op::Pc);
        add("pca", Op::Pca);
        add("ansicpg", Op::AnsiCpg);
        add("deff", Op::Deff);
        add("uc", Op::Uc);
        add("u", Op::U);
        add("bin", Op::Bin);

        add("fonttbl", Op::FontTable);
        add("colortbl", Op::ColorTable);
        for (std::string_view w : {"stylesheet",   "info",
                                   "header",       "headerl",
                                   "headerr",      "headerf",
                                   "footer",       "footerl",
                                   "footerr",      "footerf",
                                   "fldinst",      "filetbl",
                                   "revtbl",       "rsidtbl",
                                   "generator",    "xmlnstbl",
                                   "themedata",    "colorschememapping",
                                   "latentstyles", "datastore",
                                   "pgdsctbl",     "bkmkstart",
                                   "bkmkend",      "shp",
                                   "shpinst",      "shprslt",
                                   "nonshppict",   "objdata",
                                   "objclass",     "author",
                                   "operator",     "title",
                                   "subject",      "keywords",
                                   "comment",      "doccomm",
                                   "company",      "template",
                                   "docvar",       "userprops",
                                   "private",      "annotation",
                                   "atnid",        "atnauthor",
                                   "atnref",       "atndate",
                                   "atrfstart",    "atrfend",
                                   "xe",           "tc",
                                   "txe",          "rxe",
                                   "ftnsep",       "ftnsepc",
                                   "ftncn",        "aftnsep",
                                   "aftnsepc",     "aftncn",
                                   "mmathPr",      "blipuid",
                                   "picprop",      "background",
                                   "passwordhash", "pnseclvl",
                                   "listpicture",  "wgrffmtfilter",
                                   "fchars",       "lchars",
                                   "defchp",       "defpap",
                                   "panose",       "falt",
                                   "fname",        "fontemb",
                                   "fontfile",     "do",
                                   "formfield",    "datafield",
                                   "pntxta",       "pntxtb",
                                   "protusertbl",  "mhtmltag",
                                   "htmltag",      "sp",
                                   "sn",           "sv",
                                   "tcn",          "tbllvl",
                                   "oleclsid",     "fldtype",
                                   "bkmkpub",      "listname",
                                   "levelnumbers", "nesttableprops",
                                   "nonesttables"})
            add(w, Op::SkipDest);
        add("object", Op::ObjectDest);
        add("result", Op::ResultDest);
        add("fldrslt", Op::FldRslt);
        add("upr", Op::Upr);
        add("ud", Op::Ud);
        // Bullet and number texts that rich-edit controls write for readers
        // without list support: they are what the user sees.
        add("pntext", Op::KeepText);
        add("listtext", Op::KeepText);
        // A picture's modern form inside its shape group: read the group.
        add("shppict", Op::Container);
        add("listtable", Op::ListTable);
        add("listoverridetable", Op::ListOverrideTable);
        add("leveltext", Op::LevelText);
        add("pn", Op::PnDest);
        add("pict", Op::Pict);
        add("footnote", Op::Footnote);

        add("fcharset", Op::FCharset);
        add("cpg", Op::Cpg);
        add("red", Op::Red);
        add("green", Op::Green);
        add("blue", Op::Blue);

        add("list", Op::List);
        add("listoverride", Op::List);
        add("listlevel", Op::ListLevel);
        add("listid", Op::ListId);
        add("levelnfc", Op::LevelNfc);
        add("levelnfcn", Op::LevelNfc);
        add("levelstartat", Op::LevelStart);
        add("ls", Op::Ls);
        add("ilvl", Op::Ilvl);
        add("pnlvlblt", Op::PnBullet);
        add("pnlvlbody", Op::PnBody);
        add("pnlvl", Op::PnLevel);
        // The character is the QTextListFormat::Style, negated.
        add("pndec", Op::PnStyle, char16_t(-QTextListFormat::ListDecimal));
        add("pnucltr", Op::PnStyle, char16_t(-QTextListFormat::ListUpperAlpha));
        add("pnlcltr", Op::PnStyle, char16_t(-QTextListFormat::ListLowerAlpha));
        add("pnucrm", Op::PnStyle, char16_t(-QTextListFormat::ListUpperRoman));
        add("pnlcrm", Op::PnStyle, char16_t(-QTextListFormat::ListLowerRoman));
        add("pnstart", Op::PnStart);

        add("plain", Op::Plain);
        add("b", Op::Bold);
        add("i", Op::Italic);
        for (std::string_view w :
             {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd", "ulthdash",
              "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave"})
            add(w, Op::Underline);
        add("ulnone", Op::UlNone);
        add("strike", Op::Strike);
        add("striked", Op::Strike);
        add("f", Op::Font);
        add("fs", Op::FontSize);
        add("cf", Op::Cf);
        add("highlight", Op::Bg);
        add("cb", Op::Bg);
        add("chcbpat", Op::Bg);

        add("pard", Op::Pard);
        add("ql", Op::Ql);
        add("qc", Op::Qc);
        add("qr", Op::Qr);
        add("qj", Op::Qj);
        add("li", Op::Li);
        add("lin", Op::Li);
        add("ri", Op::Ri);
        add("rin", Op::Ri);
        add("fi", Op::Fi);
        add("sb", Op::Sb);
        add("sa", Op::Sa);
        add("sl", Op::Sl);
        add("slmult", Op::SlMult);

        add("trowd", Op::Trowd);
        add("cellx", Op::Cellx);
        add("clmgf", Op::CellMerge, MergeFirst);
        add("clmrg", Op::CellMerge, MergeNext);
        add("clvmgf", Op::CellMerge, MergeDownFirst);
        add("clvmrg", Op::CellMerge, MergeDown);
        add("intbl", Op::InTable);

        add("pngblip", Op::PictKind, 1);
        add("jpegblip", Op::PictKind, 2);
        add("picw", Op::PicW);
        add("pich", Op::PicH);
        add("picwgoal", Op::PicWGoal);
        add("pichgoal", Op::PicHGoal);
        add("picscalex", Op::PicScaleX);
        add("picscaley", Op::PicScaleY);

        add("par", Op::Par);
        add("sect", Op::Par);
        add("page", Op::Par);
        add("row", Op::Row);
        // Nested tables read as text in their outer cell.
        add("nestrow", Op::Par);
        add("nestcell", Op::Tab);
        add("line", Op::Line);
        add("tab", Op::Tab);
        add("cell", Op::Cell);
        add("chftn", Op::FootnoteMark);
        add("emdash", Op::Char, 0x2014);
        add("endash", Op::Char, 0x2013);
        add("emspace", Op::Char, 0x2003);
        add("enspace", Op::Char, 0x2002);
        add("qmspace", Op::Char, 0x2005);
        add("bullet", Op::Char, 0x2022);
        add("lquote", Op::Char, 0x2018);
        add("rquote", Op::Char, 0x2019);
        add("ldblquote", Op::Char, 0x201C);
        add("rdblquote", Op::Char, 0x201D);
        add("zwj", Op::Char, 0x200D);
        add("zwnj", Op::Char, 0x200C);
        add("ltrmark", Op::Char, 0x200E);
        add("rtlmark", Op::Char, 0x200F);
        return t;
    }();
    return table;
}

}  // namespace Rtf
