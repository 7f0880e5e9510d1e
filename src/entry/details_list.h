#pragma once

#include "store/contact_details.h"

#include <QTableWidget>

// The table of a contact's further values: kind, type, label and value, one row
// each, in their order. In the view a click on a value that leads somewhere (a
// telephone, an e-mail address, a web address) or Enter on its row chooses it.
class DetailsList final : public QTableWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailsList)

public:
    enum Column { KindColumn, TypeColumn, LabelColumn, ValueColumn };

    DetailsList(const QString &name, QWidget *parent = nullptr);

    void setDetails(const QList<ContactDetail> &details);
    QList<ContactDetail> details() const { return m_details; }
    // Replaces one row's value and shows it.
    void setDetail(int row, const ContactDetail &detail);
    // Whether clicks and Enter choose values (the view), or only select (the editor).
    void setChoosing(bool choosing);
    // Whether choosing this value does something: a telephone, e-mail or web address.
    static bool leadsSomewhere(const ContactDetail &detail);

signals:
    void chosen(const ContactDetail &detail);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void showRow(int row);
    void choose(int row);

    QList<ContactDetail> m_details;
    bool m_choosing = false;
};
