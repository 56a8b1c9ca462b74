#include "mail/MailNoticeBox.h"

#include "kit/MsgBox.h"

namespace {
MsgIcon boxIcon(MailIcon icon)
{
    switch (icon) {
    case MailIcon::None:
        return MsgIcon::None;
    case MailIcon::Information:
        return MsgIcon::Information;
    case MailIcon::Exclamation:
        return MsgIcon::Exclamation;
    case MailIcon::Critical:
        return MsgIcon::Critical;
    }
    return MsgIcon::None;
}
}  // namespace

void showMailNotice(const MailNotice& notice)
{
    MsgBox(notice.text, MsgButtons::OKOnly, boxIcon(notice.icon), notice.title);
}
