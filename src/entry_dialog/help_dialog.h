// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>

class QPushButton;

// The small help window of the DVD page: how to take a sound track or a subtitle out of its list.
class Thang_felirat_help : public QDialog
{
    Q_OBJECT

public:
    explicit Thang_felirat_help(QWidget* parent = nullptr);

    void OKButtonClick();

private:
    QPushButton* m_okButton;
};
