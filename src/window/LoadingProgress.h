#pragma once

#include <QWidget>

class QProgressBar;
class QPushButton;

// The window shown over a long job that the caller drives step by step: a
// bar and Cancel. It is modal, so nothing the job works on changes meanwhile;
// closing it by its frame is the same as Cancel.
class LoadingProgress : public QWidget {
    Q_OBJECT
public:
    explicit LoadingProgress(const QString& caption);

    // Done so far, 0 to 100; -1 when the rest cannot be measured (the bar
    // then only shows that the job is running).
    void setPercent(int percent);
    bool cancelled() const { return m_cancelled; }

    QProgressBar* ProgressBar1;
    QPushButton* cmdCancel;

signals:
    void Cancelled();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void cancel();
    bool m_cancelled = false;
};
