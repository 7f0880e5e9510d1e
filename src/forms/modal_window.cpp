#include "forms/modal_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>

KaxModalWindow::KaxModalWindow(const QString &name, const QString &caption, QSize clientSize,
                               int escapeAnswer, QWidget *parent, int helpContext)
    : KaxForm(name, caption, clientSize, helpContext, parent), m_escapeAnswer(escapeAnswer),
      m_answer(escapeAnswer)
{
    setWindowModality(Qt::ApplicationModal);
}

int KaxModalWindow::runModal()
{
    m_answer = m_escapeAnswer;
    QEventLoop loop;
    m_loop = &loop;
    showForm();
    loop.exec(QEventLoop::DialogExec);
    m_loop = nullptr;
    hide(); // also when the program's end, not an answer, ended the wait
    return m_answer;
}

void KaxModalWindow::answer(int value)
{
    m_answer = value;
    hide();
    if (m_loop)
        m_loop->quit();
}

void KaxModalWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        answer(m_escapeAnswer);
        return;
    }
    KaxForm::keyPressEvent(event);
}

void KaxModalWindow::closeEvent(QCloseEvent *event)
{
    // The close box hides the window (as for every window) and answers as Escape does.
    KaxForm::closeEvent(event);
    if (m_loop)
        answer(m_escapeAnswer);
}
