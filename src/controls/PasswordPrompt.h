#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The small window a screen shows when it needs a password that is not at
// hand: first while the keyring is asked (a slow one may be waiting for the
// user to unlock it), with Cancel; then, when the keyring has none, the
// question itself, with "Keep it". Never modal in a loop of its own: the
// screen goes on when entered() or cancelled() arrives. It deletes itself
// once closed.
class PasswordPrompt : public QWidget {
    Q_OBJECT
public:
    static const QString kWaiting;
    static const QString kKeepIt;

    // `what` names the password: "the mailbox anna at pop.example.org".
    PasswordPrompt(QWidget* owner, const QString& what);
    void waitForKeyring();
    void ask();
    // Answered or cancelled: an answer of the keyring arriving later is for nobody.
    bool closed() const { return m_answered; }

    QLabel* lblPrompt;
    QLineEdit* txtPassword;
    QCheckBox* chkKeep;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

signals:
    void entered(const QString& password, bool keep);
    void cancelled();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString m_what;
    bool m_answered = false;
};
