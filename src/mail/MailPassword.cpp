#include "mail/MailPassword.h"

#include "controls/PasswordPrompt.h"
#include "kit/MailAccounts.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "store/Connection.h"

namespace {
const QString kMailbox = QStringLiteral("the mail user %1 at %2");
const QString kNotKept = QStringLiteral("The keyring did not take the password (%1), so it is not kept.");
}  // namespace

void withMailPassword(QWidget* screen, Connection& con, const MailSettings& settings, const QString& server,
                      const std::function<void(const QString&)>& go)
{
    auto* prompt = new PasswordPrompt(screen, kMailbox.arg(settings.userName, server));
    const QString store = con.path();
    QObject::connect(prompt, &PasswordPrompt::entered, screen,
                     [store, settings, go, screen](const QString& typed, bool keep) {
                         Connection own;
                         if (keep && settings.key != 0 && storeGuard([&] { own.Open(store); }))
                             MailAccounts::keepPassword(own, settings, typed, screen, [](const Secrets::Answer& a) {
                                 if (a.outcome == Secrets::Outcome::Failed)
                                     MsgBox(kNotKept.arg(a.text), MsgButtons::OKOnly, MsgIcon::Exclamation);
                             });
                         go(typed);
                     });
    if (settings.key == 0)
        return prompt->ask();
    prompt->waitForKeyring();
    readSecret(con, mailSecret(settings), prompt, [prompt, go](const Secrets::Answer& answer) {
        if (prompt->closed())
            return;
        if (answer.outcome == Secrets::Outcome::Done && !answer.text.isEmpty()) {
            prompt->deleteLater();
            prompt->hide();
            return go(answer.text);
        }
        prompt->ask();
    });
}
