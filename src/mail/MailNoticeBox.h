#pragma once

#include "mail/MailAction.h"

// Shows a notice of the mail code as the message box it describes.
void showMailNotice(const MailNotice& notice);
