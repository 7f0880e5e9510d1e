#pragma once

#include "forms/form.h"

#include <QStringList>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QToolButton;

// The signature window `Form17` "Podpis": eight free-text letter signature lines,
// loaded from the settings key Kax\Podpis at creation and saved by "Zapisz".
class TForm17 final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm17)

public:
    static constexpr int lineCount = 8;

    explicit TForm17(QWidget *parent = nullptr);
    ~TForm17() override;

    // The current texts of the eight fields, saved or not, in line order.
    QStringList signatureLines() const;
    // The reasons values could not be read at creation (values of another type
    // than text, read as empty); empty when every value was read.
    QStringList loadProblems() const { return m_loadProblems; }

    void FormCreate();
    void SpeedButton2Click();
    void SpeedButton1Click();

private:
    QFrame *Bevel1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QLineEdit *Edit5 = nullptr;
    QLineEdit *Edit6 = nullptr;
    QLineEdit *Edit7 = nullptr;
    QComboBox *Edit8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label13 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QStringList m_loadProblems;
};
