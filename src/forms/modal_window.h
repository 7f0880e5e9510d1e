#pragma once

#include "forms/form.h"

class QEventLoop;

// A window that asks a question and waits for the answer: shown application-modal,
// it runs its own event loop until an answer is given. Escape and the close box give
// the escape answer.
class KaxModalWindow : public KaxForm
{
    Q_OBJECT

public:
    KaxModalWindow(const QString &name, const QString &caption, QSize clientSize, int escapeAnswer,
                   QWidget *parent = nullptr, int helpContext = 0);

    // Shows the window and returns the answer once one is given.
    int runModal();
    // Gives the answer: a running runModal() returns it, and the window hides.
    void answer(int value);
    int lastAnswer() const { return m_answer; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    int m_escapeAnswer;
    int m_answer;
    QEventLoop *m_loop = nullptr;
};
